#include "entry_source.h"

#include <algorithm>
#include <new>

#include "axp/common/checksum.h"
#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/command_list.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr char kOutOfMemoryMessage[] = "File=%s(out of memory)";
constexpr char kStaleMessage[] = "File=%s(differs from its catalogue row)";

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
  if (!fitsSizeFields(static_cast<uint64_t>(length), path)) return false;
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
  if (!appendPath(&path, command.name)) return false;
  reading_ = path;
  return openLooseFile(path, &file_, size);
}

// A file whose bytes are not what the catalogue shipped with the package
// says would leave players with a "(version)" that disagrees with their
// disk.
bool EntrySource::checkRow(const std::optional<CatalogueRow>& row, uint32_t size, uint32_t crc) {
  if (!row || (row->size == size && row->crc == crc)) return true;
  staleSource_ = reading_;
  reportError(BadData, kStaleMessage, reading_.c_str());
  return false;
}

// The catalogue lists a pack through the rows of its files, one of which is
// its "(list)"; the list stands for the rest.
bool EntrySource::checkShippedPack(const PlanCommand& command) {
  if (!command.catalogued) return true;
  std::string packPath;
  PlanCommand asPack = command;
  asPack.pack = command.name;
  if (!openPack(asPack, &packPath)) return false;
  StreamHandle list(pack_->openFile(kListFileName));
  if (list == nullptr) return false;
  return checkRow(command.catalogued, list->size(), list->crc());
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
  staleSource_.clear();
  row_ = command.catalogued;
  crc_ = crcStart();
  if (command.pack.empty()) {
    if (!openLoose(command, size)) return false;
    size_ = *size;
    if (!isPackName(command.name)) return true;
    row_.reset();
    return checkShippedPack(command);
  }
  std::string packPath;
  if (!openPack(command, &packPath)) return false;
  stream_.reset(pack_->openFile(command.name.c_str()));
  if (stream_ == nullptr) return false;
  reading_ = command.name + " in " + packPath;
  *size = size_ = stream_->size();
  return true;
}

bool EntrySource::finish() { return checkRow(row_, size_, crcFinish(crc_)); }

int64_t EntrySource::read(uint8_t* buffer, size_t capacity) {
  const uint32_t want = static_cast<uint32_t>(std::min<size_t>(capacity, UINT32_MAX));
  uint32_t done = 0;
  if (stream_ != nullptr) {
    done = stream_->read(buffer, want);
    if (done == 0 && !stream_->eof()) {
      reportError(ReadFailed, messages::kName, reading_.c_str());
      return -1;
    }
  } else if (!file_.read(buffer, want, &done)) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return -1;
  }
  if (row_) crc_ = crcFeed(crc_, buffer, done);
  return done;
}

}  // namespace AXP
