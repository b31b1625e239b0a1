// The bytes a package entry is made from, read in pieces: a file of a
// version folder, or a file inside one of its packs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "axp/common/byte_pieces.h"
#include "axp/pack/stream.h"
#include "axp/patchmaker/patch_plan.h"
#include "platform/file.h"

namespace AXP {

class PackFile;

// Reads the whole disk file at `path` into `*data`. Failures: code 3
// "WinErr=%d" when it cannot be opened; code 4 "WinErr=%d" for a failed or
// short read; code 14 for a file larger than a package entry may be.
bool readWholeFile(const std::string& path, std::vector<uint8_t>* data);

// Measures and reads the data of add commands. Consecutive commands on one
// pack share one read-only opening of it. One object per thread.
class EntrySource final : public ByteSource {
 public:
  EntrySource();
  ~EntrySource();
  EntrySource(const EntrySource&) = delete;
  EntrySource& operator=(const EntrySource&) = delete;

  // The size of an add command's data, without reading it. `*hasEntry` is
  // false for a file of 0 bytes inside a pack, which the package carries as
  // a command line alone. Failures: code 3 "WinErr=%d" for a loose file
  // that cannot be opened; the pack's own code when the pack cannot be
  // opened; code 1 "%s" for a name the pack does not hold; code 14 for data
  // larger than a package entry may be (4 GiB - 1); code 10 for a path
  // beyond the limit.
  bool measure(const PlanCommand& command, uint32_t* size, bool* hasEntry);
  // Opens the data of an add command for read(), failing as measure does,
  // and for a pack shipped whole with code 2 (below) when its "(list)" is
  // not what the command's catalogue row says.
  bool open(const PlanCommand& command, uint32_t* size);
  // The next piece of the open data; -1 with code 4 when reading fails.
  int64_t read(uint8_t* buffer, size_t capacity) override;
  // Once all of the data was read: false with code 2 "File=%s(differs from
  // its catalogue row)" when it is not what the command's catalogue row
  // says, with the file named in staleSource().
  bool finish();

  // The file the last open or finish found changed since its catalogue was
  // written: a path, or "NAME in PACKPATH"; empty when it found none.
  const std::string& staleSource() const { return staleSource_; }

 private:
  bool openPack(const PlanCommand& command, std::string* packPath);
  bool openLoose(const PlanCommand& command, uint32_t* size);
  bool checkRow(const std::optional<CatalogueRow>& row, uint32_t size, uint32_t crc);
  bool checkShippedPack(const PlanCommand& command);

  std::unique_ptr<PackFile> pack_;
  std::string packPath_;  // of the pack open in pack_; empty when none
  platform::File file_;   // the open loose file, or
  StreamHandle stream_;   // the open file inside pack_
  std::string reading_;   // what is open, for messages
  // The catalogue row the open data must match, with its size and running
  // checksum; none for a pack shipped whole (checked at open) and for
  // "(version)".
  std::optional<CatalogueRow> row_;
  uint32_t size_ = 0;
  uint32_t crc_ = 0;
  std::string staleSource_;
};

}  // namespace AXP
