#include "axp/patchmaker/package_writer.h"

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/keyed_rewrite.h"
#include "axp/updater/lzma_entry.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/work_file.h"

namespace AXP {

// The archive being written, and an empty file the source of empty entries
// (the ZIP writer takes no empty memory block); both beside the package.
struct PackageWriter::WorkFiles {
  platform::WorkFile archive;
  platform::WorkFile emptySource;
};

PackageWriter::PackageWriter() : files_(std::make_unique<WorkFiles>()) {}

PackageWriter::~PackageWriter() {
  if (archive_ != nullptr) closeArchive(archive_);
}

bool PackageWriter::create(const std::string& path) {
  path_ = path;
  if (files_->archive.create(path)) archive_ = createArchive(&files_->archive.file(), 0, kTargetHandle);
  if (archive_ != nullptr) return true;
  reportError(OpenFailed, messages::kName, path.c_str());
  return false;
}

bool PackageWriter::add(const std::string& name, const void* data, uint32_t size, uint32_t method) {
  if (size > 0) return succeeded(addToArchive(archive_, name.c_str(), data, size, kSourceMemory, method));
  platform::WorkFile& empty = files_->emptySource;
  if (!empty.file().isOpen() && !empty.create(path_)) {
    reportError(OpenFailed, messages::kFileError, path_.c_str(), platform::lastSystemError());
    return false;
  }
  return succeeded(addToArchive(archive_, name.c_str(), &empty.file(), 0, kSourceHandle, method));
}

bool PackageWriter::addSpooled(const std::string& name, const std::string& path, uint32_t size) {
  platform::File spooled;
  if (!spooled.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
    return false;
  }
  return succeeded(addToArchive(archive_, name.c_str(), &spooled, size, kSourceSpooled, kMethodStore));
}

// A close that fails leaves an archive without a sound central directory;
// sealing it would make a package that cannot be opened.
bool PackageWriter::finish(bool seal) {
  const uint32_t result = closeArchive(archive_);
  archive_ = nullptr;
  if (!succeeded(result)) return false;
  if (seal && !scrambleAndSeal(files_->archive.file())) return false;
  if (files_->archive.commit()) return true;
  reportError(WriteFailed, messages::kFileWriteError, path_.c_str(), platform::lastSystemError());
  return false;
}

bool PackageWriter::succeeded(uint32_t result) {
  if (result == kZipSuccess) return true;
  reportError(LibraryError, messages::kArchiveError, static_cast<int>(result));
  return false;
}

bool writePackageFile(const std::string& path, const std::vector<PackageEntry>& entries, bool seal) {
  PackageWriter writer;
  if (!writer.create(path)) return false;
  for (const PackageEntry& entry : entries) {
    if (!writer.add(entry.name, entry.data.data(), static_cast<uint32_t>(entry.data.size()), entry.method)) return false;
  }
  return writer.finish(seal);
}

bool packEntry(const std::string& data, std::string* entry) {
  LzmaPacker packer;
  const uint8_t* packed = nullptr;
  uint32_t size = 0;
  if (!packer.pack(data.data(), static_cast<uint32_t>(data.size()), &packed, &size)) return false;
  entry->assign(reinterpret_cast<const char*>(packed), size);
  return true;
}

}  // namespace AXP
