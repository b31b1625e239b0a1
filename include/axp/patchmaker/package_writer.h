// Writes package files: a ZIP archive of entries in the order added, then,
// for a patch package, scrambled and sealed with its checksum trailer. The
// archive is made in a work file beside the package and moved over it only
// once finished (and sealed): a failed or stopped build leaves whatever
// was at the path as it was. The builder writes every package through it;
// the tests, the fuzz seeds and the benchmarks make theirs the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "axp/patchmaker/zip_writer.h"

namespace AXP {

class PackageWriter {
 public:
  PackageWriter();
  // An archive not finished is dropped with its work file.
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Starts the archive that will replace any file at `path`. Code 3 "%s"
  // with the path when it cannot be started.
  bool create(const std::string& path);
  // Adds an entry of `size` bytes, empty ones included, stored or (method
  // kMethodDeflate) deflated. Code 14 "XZIP=%d" with the writer's result.
  bool add(const std::string& name, const void* data, uint32_t size, uint32_t method = kMethodStore);
  // Adds a stored entry whose `size` bytes were spooled to the file at
  // `path`, with the same records an entry added from memory gets. Code 3
  // "File=%s, WinErr=%d" when the file cannot be opened, else as add.
  bool addSpooled(const std::string& name, const std::string& path, uint32_t size);
  // Closes the archive (code 14 "XZIP=%d": its central directory could not
  // be written), with `seal` scrambles it and appends its trailer, and puts
  // it at the path (code 5 "File=%s, WinErr: %d" when it cannot be moved
  // there).
  bool finish(bool seal);

 private:
  struct WorkFiles;

  bool succeeded(uint32_t result);

  ArchiveHandle* archive_ = nullptr;
  std::string path_;
  std::unique_ptr<WorkFiles> files_;
};

struct PackageEntry {
  std::string name;
  std::string data;
  uint32_t method = kMethodStore;  // or kMethodDeflate
};

// A package file of `entries`, each added as given; with `seal`, scrambled
// and sealed.
bool writePackageFile(const std::string& path, const std::vector<PackageEntry>& entries, bool seal);

// `data` as an LZMA-packed entry, header included, as the builder stores
// file data; false, reported with the coder's code, when packing fails.
bool packEntry(const std::string& data, std::string* entry);

}  // namespace AXP
