#include "pack_listing.h"

#include <array>
#include <memory>
#include <vector>

#include "axp/common/checksum.h"
#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/pack/list_rows.h"
#include "axp/pack/pack_file.h"
#include "record_fields.h"

namespace AXP {
namespace {

// Line buffer of a "(list)" row; a longer row comes in pieces, which do
// not split into a row.
constexpr uint32_t kLineCapacity = 1040;
constexpr uint32_t kChecksumPieceBytes = 64 * 1024;

bool parseRow(const std::string& line, const std::string& relativeName, FileRecord* row) {
  const ListRowFields fields = splitListRow(line);
  if (!isWholeRow(fields)) return false;
  row->name = fields.name;
  row->pack = relativeName;
  return !row->name.empty() && parseHexField(fields.size, &row->size) && parseHexField(fields.checksum, &row->crc);
}

// The checksum of the whole list, taken piece by piece: the list's size
// comes from the pack and is not trusted with one allocation.
bool measureList(IStream* list, FileRecord* row) {
  std::vector<uint8_t> piece(kChecksumPieceBytes);
  uint32_t state = crcStart();
  uint32_t total = 0;
  list->seek(0);
  while (uint32_t count = list->read(piece.data(), kChecksumPieceBytes)) {
    state = crcFeed(state, piece.data(), count);
    total += count;
  }
  row->size = list->size();
  row->crc = crcFinish(state);
  return total == row->size;
}

}  // namespace

bool cataloguePack(const std::string& path, const std::string& relativeName, VersionRecord* record) {
  auto pack = std::make_unique<PackFile>();
  if (!pack->open(path.c_str(), true)) return false;
  StreamHandle list(pack->openFile(kListFileName));
  if (list == nullptr) {
    reportError(NotFound, messages::kPartOf, kListFileName, path.c_str());
    return false;
  }

  // Line 1 is the list's own checksum summary; line 2 its row count.
  std::array<char, kLineCapacity> line;
  list->skipLine();
  line[0] = '\0';
  list->readLine(line.data(), kLineCapacity);
  record->files.reserve(record->files.size() + reservationFor(line.data()));

  int lineNumber = 2;
  while (!list->eof()) {
    const uint32_t before = list->tell();
    const uint32_t length = list->readLine(line.data(), kLineCapacity);
    ++lineNumber;
    // An empty line moves past its line feed; a line read that moves
    // nothing is a failed read, which would otherwise repeat for ever.
    if (list->tell() == before) {
      reportError(ReadFailed, messages::kPartOf, kListFileName, path.c_str());
      return false;
    }
    if (length == 0) continue;
    FileRecord row;
    if (!parseRow(line.data(), relativeName, &row)) {
      reportError(BadData, messages::kName, path.c_str());
      return false;
    }
    if (!checkRecordName(row.name, path, lineNumber)) return false;
    record->files.push_back(std::move(row));
  }

  FileRecord listRow;
  listRow.name = kListFileName;
  listRow.pack = relativeName;
  if (!measureList(list.get(), &listRow)) {
    reportError(ReadFailed, messages::kPartOf, kListFileName, path.c_str());
    return false;
  }
  record->files.push_back(std::move(listRow));
  record->packKeys.insert(normalizeName(relativeName, true, true));
  return true;
}

}  // namespace AXP
