#include "entry_source.h"

#include <algorithm>
#include <new>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/pack/pack_file.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr char kTooLargeMessage[] = "File=%s(too large)";
constexpr char kOutOfMemoryMessage[] = "File=%s(out of memory)";

// An entry's header holds its unpacked size in 32 bits.
bool checkEntrySize(uint64_t size, const std::string& what) {
  if (size <= UINT32_MAX) return true;
  reportError(LibraryError, kTooLargeMessage, what.c_str());
  return false;
}

bool allocate(std::vector<uint8_t>* data, uint32_t size, const std::string& what) {
  try {
    data->resize(size);
  } catch (const std::bad_alloc&) {
    reportError(ReadFailed, kOutOfMemoryMessage, what.c_str());
    return false;
  }
  return true;
}

bool openLooseFile(const std::string& path, platform::File* file, uint32_t* size) {
  if (!file->open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  const int64_t length = file->size();
  if (length < 0) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  if (!checkEntrySize(static_cast<uint64_t>(length), path)) return false;
  *size = static_cast<uint32_t>(length);
  return true;
}

}  // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>* data) {
  platform::File file;
  uint32_t size = 0;
  if (!openLooseFile(path, &file, &size) || !allocate(data, size, path)) return false;
  uint32_t done = 0;
  if (!file.read(data->data(), size, &done) || done != size) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return true;
}

EntrySource::EntrySource() = default;
EntrySource::~EntrySource() = default;

bool EntrySource::openPack(const PlanCommand& command, std::string* packPath) {
  *packPath = command.sourceFolder;
  if (!appendPath(packPath, command.pack)) return false;
  if (pack_ != nullptr && packPath_ == *packPath) return true;
  stream_.reset();
  if (pack_ == nullptr) pack_ = std::make_unique<PackFile>();
  packPath_.clear();
  if (!pack_->open(packPath->c_str(), true)) return false;
  packPath_ = *packPath;
  return true;
}

bool EntrySource::openLoose(const PlanCommand& command, uint32_t* size) {
  std::string path = command.sourceFolder;
  reading_ = path;
  return appendPath(&path, command.name) && openLooseFile(path, &file_, size);
}

bool EntrySource::measure(const PlanCommand& command, uint32_t* size, bool* hasEntry) {
  *hasEntry = true;
  if (command.pack.empty()) {
    const bool opened = openLoose(command, size);
    file_.close();
    return opened;
  }
  std::string packPath;
  if (!openPack(command, &packPath)) return false;
  EntryInfo info;
  if (pack_->findEntry(command.name.c_str(), &info) < 0) {
    // An absent name reports nothing of its own; a damaged entry has.
    if (!pack_->exists(command.name.c_str())) reportError(NotFound, messages::kName, command.name.c_str());
    return false;
  }
  *size = info.blockSize;
  *hasEntry = *size > 0;
  return true;
}

bool EntrySource::open(const PlanCommand& command, uint32_t* size) {
  stream_.reset();
  file_.close();
  if (command.pack.empty()) return openLoose(command, size);
  std::string packPath;
  if (!openPack(command, &packPath)) return false;
  stream_.reset(pack_->openFile(command.name.c_str()));
  if (stream_ == nullptr) return false;
  reading_ = command.name + " in " + packPath;
  *size = stream_->size();
  return true;
}

int64_t EntrySource::read(uint8_t* buffer, size_t capacity) {
  const uint32_t want = static_cast<uint32_t>(std::min<size_t>(capacity, UINT32_MAX));
  if (stream_ != nullptr) {
    const uint32_t count = stream_->read(buffer, want);
    if (count > 0 || stream_->eof()) return count;
    reportError(ReadFailed, messages::kName, reading_.c_str());
    return -1;
  }
  uint32_t done = 0;
  if (!file_.read(buffer, want, &done)) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return -1;
  }
  return done;
}

}  // namespace AXP
