// The bytes a package entry is made from: a file of a version folder read
// whole, or a file inside one of its packs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "axp/patchmaker/patch_plan.h"

namespace AXP {

class PackFile;

// Reads the whole disk file at `path` into `*data`. Failures: code 3
// "WinErr=%d" when it cannot be opened; code 4 "WinErr=%d" for a failed or
// short read; code 14 for a file larger than a package entry may be.
bool readWholeFile(const std::string& path, std::vector<uint8_t>* data);

// Loads the data of add commands. Consecutive commands on one pack share
// one read-only opening of it.
class EntrySource {
 public:
  EntrySource();
  ~EntrySource();
  EntrySource(const EntrySource&) = delete;
  EntrySource& operator=(const EntrySource&) = delete;

  // Fills `*data` for an add command. `*hasEntry` is false for a file of 0
  // bytes inside a pack, which the package carries as a command line
  // alone. Failures: those of readWholeFile for a loose file; the pack's
  // own code when the pack or the file in it cannot be opened; code 4 for
  // a short read; code 10 for a path beyond the limit; code 2 "File=%s(
  // differs from its catalogue row)" for data that is not what the
  // command's catalogue row says (for a pack shipped whole: a "(list)"
  // that is not), with the file named in staleSource().
  bool load(const PlanCommand& command, std::vector<uint8_t>* data, bool* hasEntry);

  // The file the last load found changed since its catalogue was written:
  // a path, or "NAME in PACKPATH"; empty when it found none.
  const std::string& staleSource() const { return staleSource_; }

 private:
  bool openPack(const std::string& path);
  bool loadPackedFile(const std::string& packPath, const std::string& name, std::vector<uint8_t>* data,
                      bool* hasEntry);
  bool checkRow(const std::optional<CatalogueRow>& row, uint32_t size, uint32_t crc, const std::string& what);
  bool checkShippedPack(const PlanCommand& command, const std::string& path);

  std::unique_ptr<PackFile> pack_;
  std::string packPath_;  // of the pack open in pack_; empty when none
  std::string staleSource_;
};

}  // namespace AXP
