#include "catalogue_file.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/common/line_reader.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/work_file.h"
#include "record_fields.h"

namespace AXP {
namespace {

constexpr char kHeadFormat[] = "%s|%d\n";
constexpr char kEntryFormat[] = "%s|%08X|%08X|%s\n";
// Line buffers of the catalogue's writers and readers on every system: a
// line must fit, its terminating zero included.
constexpr size_t kHeadLineBuffer = 260;
constexpr size_t kEntryLineBuffer = 1040;
constexpr size_t kMaxReadLine = kEntryLineBuffer - 1;
constexpr size_t kHeadFields = 2;
constexpr size_t kEntryFields = 4;
constexpr char kLineEnds[] = "\r\n";


// Formats one line into `text`; false when it would not fit `capacity`
// bytes (at most kEntryLineBuffer) with its terminating zero.
template <typename... Arguments>
bool appendLine(std::string* text, size_t capacity, const char* format, Arguments... arguments) {
  std::array<char, kEntryLineBuffer> line;
  const int length = std::snprintf(line.data(), capacity, format, arguments...);
  if (length < 0 || static_cast<size_t>(length) >= capacity) return false;
  text->append(line.data(), static_cast<size_t>(length));
  return true;
}

// The line without its line end; a line made only of line-end characters
// is kept as it is (and then fails to split into fields).
std::string withoutLineEnd(const std::string& line) {
  const size_t last = line.find_last_not_of(kLineEnds);
  return last == std::string::npos ? line : line.substr(0, last + 1);
}

bool splitLine(const std::string& line, size_t fields, std::vector<std::string>* pieces) {
  return splitString(withoutLineEnd(line), pieces, kFieldSeparator, false, false) == static_cast<int>(fields);
}

bool parseEntry(const std::vector<std::string>& pieces, FileRecord* row) {
  row->name = pieces[0];
  row->pack = pieces[3];
  return parseHexField(pieces[1], &row->size) && parseHexField(pieces[2], &row->crc);
}

}  // namespace

bool isCatalogueVersion(const std::string& version) {
  std::string ignored;
  // Checked with the widest count, so that the line fits whatever the
  // number of records.
  return version.find_first_of(std::string(kFieldSeparator) + kLineEnds) == std::string::npos &&
         appendLine(&ignored, kHeadLineBuffer, kHeadFormat, version.c_str(), std::numeric_limits<int>::max());
}

bool writeCatalogue(const std::string& path, const VersionRecord& record) {
  std::string text;
  const int count = static_cast<int>(record.files.size());
  if (!appendLine(&text, kHeadLineBuffer, kHeadFormat, record.version.c_str(), count)) {
    reportError(WriteFailed, messages::kName, record.version.c_str());
    return false;
  }
  for (const FileRecord& row : record.files) {
    if (!appendLine(&text, kEntryLineBuffer, kEntryFormat, row.name.c_str(), row.size, row.crc, row.pack.c_str())) {
      reportError(WriteFailed, messages::kName, row.name.c_str());
      return false;
    }
  }

  // Written beside the old catalogue and moved over it once whole.
  platform::WorkFile file;
  if (!file.create(path)) {
    reportError(OpenFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  uint32_t written = 0;
  const uint32_t size = static_cast<uint32_t>(text.size());
  if (!file.file().write(text.data(), size, &written) || written != size || !file.commit()) {
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return true;
}

bool readCatalogue(const std::string& path, VersionRecord* record) {
  if (path.empty()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(NotFound, messages::kName, path.c_str());
    return false;
  }
  LineReader reader(&file, kMaxReadLine);
  std::string line;
  std::vector<std::string> pieces;
  if (!reader.next(&line) || !splitLine(line, kHeadFields, &pieces)) {
    reportError(reader.failed() ? ReadFailed : BadData, messages::kName, path.c_str());
    return false;
  }
  record->version = pieces[0];
  const int expected = std::atoi(pieces[1].c_str());
  record->files.reserve(reservationFor(pieces[1]));

  int lineNumber = 1;
  while (reader.next(&line)) {
    ++lineNumber;
    FileRecord row;
    if (!splitLine(line, kEntryFields, &pieces) || !parseEntry(pieces, &row)) {
      reportError(BadData, messages::kName, path.c_str());
      return false;
    }
    if (!checkRecordName(row.name, path, lineNumber) ||
        (!row.pack.empty() && !checkRecordName(row.pack, path, lineNumber))) {
      return false;
    }
    if (!row.pack.empty()) record->packKeys.insert(normalizeName(row.pack, true, true));
    record->files.push_back(std::move(row));
  }
  if (reader.failed()) {
    reportError(ReadFailed, messages::kName, path.c_str());
    return false;
  }
  if (static_cast<long long>(record->files.size()) != expected) {
    reportError(BadData, messages::kName, path.c_str());
    return false;
  }
  return true;
}

}  // namespace AXP
