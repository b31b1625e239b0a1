#include "entry_source.h"

#include <new>

#include "axp/common/error_messages.h"
#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/common/format_names.h"
#include "axp/common/file_util.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/command_list.h"
#include "axp/updater/lzma_entry.h"
#include "platform/file.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr char kTooLargeMessage[] = "File=%s(too large)";
constexpr char kOutOfMemoryMessage[] = "File=%s(out of memory)";
constexpr char kStaleMessage[] = "File=%s(differs from its catalogue row)";
constexpr char kInPack[] = " in ";

// The applier refuses entries that unpack to more than this, so a larger
// file is refused here, before a package nobody can apply is made.
bool checkEntrySize(uint64_t size, const std::string& what) {
  if (size <= kMaxLzmaUnpackedSize) return true;
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

}  // namespace

bool readWholeFile(const std::string& path, std::vector<uint8_t>* data) {
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  const int64_t size = file.size();
  if (size < 0) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  if (!fitsSizeFields(static_cast<uint64_t>(size), path) || !checkEntrySize(static_cast<uint64_t>(size), path)) {
    return false;
  }
  const uint32_t wanted = static_cast<uint32_t>(size);
  if (!allocate(data, wanted, path)) return false;
  uint32_t done = 0;
  if (!file.read(data->data(), wanted, &done) || done != wanted) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return true;
}

EntrySource::EntrySource() = default;
EntrySource::~EntrySource() = default;

bool EntrySource::load(const PlanCommand& command, std::vector<uint8_t>* data, bool* hasEntry) {
  *hasEntry = true;
  staleSource_.clear();
  if (command.pack.empty()) {
    std::string path = command.sourceFolder;
    if (!appendPath(&path, command.name) || !readWholeFile(path, data)) return false;
    if (isPackName(command.name)) return checkShippedPack(command, path);
    const auto size = static_cast<uint32_t>(data->size());
    return checkRow(command.catalogued, size, crcBuffer(data->data(), size), path);
  }
  std::string packPath = command.sourceFolder;
  if (!appendPath(&packPath, command.pack) || !loadPackedFile(packPath, command.name, data, hasEntry)) return false;
  const auto size = static_cast<uint32_t>(data->size());
  return checkRow(command.catalogued, size, crcBuffer(data->data(), size), command.name + kInPack + packPath);
}

// A file whose bytes are not what the catalogue shipped with the package
// says would leave players with a "(version)" that disagrees with their
// disk.
bool EntrySource::checkRow(const std::optional<CatalogueRow>& row, uint32_t size, uint32_t crc,
                           const std::string& what) {
  if (!row || (row->size == size && row->crc == crc)) return true;
  staleSource_ = what;
  reportError(BadData, kStaleMessage, what.c_str());
  return false;
}

// The catalogue lists a pack through the rows of its files, one of which is
// its "(list)"; the list stands for the rest.
bool EntrySource::checkShippedPack(const PlanCommand& command, const std::string& path) {
  if (!command.catalogued) return true;
  if (!openPack(path)) return false;
  StreamHandle list(pack_->openFile(kListFileName));
  if (list == nullptr) return false;
  return checkRow(command.catalogued, list->size(), list->crc(), path);
}

bool EntrySource::openPack(const std::string& path) {
  if (pack_ != nullptr && packPath_ == path) return true;
  if (pack_ == nullptr) pack_ = std::make_unique<PackFile>();
  packPath_.clear();
  if (!pack_->open(path.c_str(), true)) return false;
  packPath_ = path;
  return true;
}

bool EntrySource::loadPackedFile(const std::string& packPath, const std::string& name,
                                 std::vector<uint8_t>* data, bool* hasEntry) {
  if (!openPack(packPath)) return false;
  StreamHandle stream(pack_->openFile(name.c_str()));
  if (stream == nullptr) return false;
  const uint32_t size = stream->size();
  if (size == 0) {
    *hasEntry = false;
    return true;
  }
  if (!checkEntrySize(size, name) || !allocate(data, size, name)) return false;
  uint32_t done = 0;
  while (done < size) {
    const uint32_t count = stream->read(data->data() + done, size - done);
    if (count == 0) break;
    done += count;
  }
  if (done != size) {
    reportError(ReadFailed, messages::kPartOf, name.c_str(), packPath.c_str());
    return false;
  }
  return true;
}

}  // namespace AXP
