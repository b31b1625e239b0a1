#include "axp/patchmaker/package_writer.h"

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/updater/lzma_entry.h"
#include "platform/file.h"
#include "platform/system.h"

namespace AXP {
namespace {

// The ZIP writer takes no empty memory block; an empty entry is read from an
// empty scratch file of this prefix.
constexpr char kEmptySourcePrefix[] = "~axp-empty-";

}  // namespace

PackageWriter::~PackageWriter() {
  if (archive_ != nullptr) closeArchive(archive_);
  if (!emptySource_.empty()) platform::deleteFile(emptySource_);
}

bool PackageWriter::create(const std::string& path) {
  path_ = path;
  archive_ = createArchive(path.c_str(), 0, kTargetPath);
  if (archive_ != nullptr) return true;
  reportError(OpenFailed, messages::kName, path.c_str());
  return false;
}

bool PackageWriter::add(const std::string& name, const void* data, uint32_t size, uint32_t method) {
  if (size > 0) return succeeded(addToArchive(archive_, name.c_str(), data, size, kSourceMemory, method));
  if (emptySource_.empty()) {
    const std::string folder = platform::tempFolder();
    emptySource_ = platform::createUniqueTempFile(folder, kEmptySourcePrefix);
    if (emptySource_.empty()) {
      reportError(OpenFailed, messages::kFileError, (folder + kEmptySourcePrefix).c_str(),
                  platform::lastSystemError());
      return false;
    }
  }
  return succeeded(addToArchive(archive_, name.c_str(), emptySource_.c_str(), 0, kSourcePath, method));
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
  return !seal || (toggleScrambling(path_, false) && appendChecksumTrailer(path_));
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
