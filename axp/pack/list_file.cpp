// The (list) kept in memory: loading it from the pack, following edits,
// saving it back as the packed file "(list)" and verifying it.
#include <new>
#include <string>

#include "axp/common/error_record.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "data_stream.h"
#include "list_text.h"
#include "pack_messages.h"

namespace AXP {
namespace {

// Reads the summary and count lines of a (list); false when the stream
// ends within the first or either does not parse. A list may end right
// after its count line: it then has no rows, as the list of an empty pack.
bool readListHead(IStream* stream, uint32_t* summary, int32_t* count) {
  if (stream->eof()) return false;
  const std::string first = readListLine(stream, kListLineCapacity);
  if (stream->eof() || !parseHex(first, summary)) return false;
  const std::string second = readListLine(stream, kListLineCapacity);
  return parseDecimal(second, count);
}

}  // namespace

void PackFile::setListTracking(int32_t value) { listTracking_ = value; }

void PackFile::resetList() { list_ = ListInfo{}; }

bool PackFile::measureFile(const char* name, FileInfo* info) {
  *info = FileInfo{};
  DataStreamHandle stream(openStream(name));
  uint32_t checksum = 0;
  if (stream == nullptr || !stream->checksum(&checksum)) return false;
  *info = FileInfo{stream->size(), checksum};
  return true;
}

void PackFile::updateListEntry(const char* name) {
  FileInfo& row = list_.files[name];
  measureFile(name, &row);
}

void PackFile::eraseListEntry(const char* name) { list_.files.erase(name); }

// The list is looked for as openFile finds it, not with the early stop of
// exists(): a removed entry in its probe chain would otherwise hide a list
// the pack holds, and the list then saved would drop every row (a list
// saved is written where openFile finds the old one).
bool PackFile::hasList() const { return find(kListFileName) >= 0; }

bool PackFile::reportListProblem(int32_t code) const {
  reportError(code, messages::kListInPack, kListFileName, path_.c_str());
  return false;
}

bool PackFile::loadList() try {
  if (!hasList()) return reportListProblem(NotFound);
  DataStreamHandle stream(openStream(kListFileName));
  if (stream == nullptr) return false;
  if (stream->eof()) return reportListProblem(BadData);
  resetList();
  uint32_t summary = 0;
  int32_t count = 0;
  // A head that ends early or does not parse is reported as bad data; a
  // failed read has reported.
  if (!readListHead(stream.get(), &summary, &count)) {
    if (!stream->failed()) reportListProblem(BadData);
    return false;
  }
  list_.summary = summary;
  list_.count = count;
  while (!stream->eof()) {
    const ListRowFields fields = splitListRow(readListLine(stream.get(), kListLineCapacity));
    if (fields.separators == 0) continue;
    if (fields.separators == 1) break;
    FileInfo info;
    parseHex(fields.size, &info.size);
    parseHex(fields.checksum, &info.checksum);
    // The first row of a name wins.
    list_.files.emplace(fields.name, info);
  }
  return !stream->failed();
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

// The list goes into the pack straight from memory: a temporary folder
// that is full or missing cannot leave the pack with edits its list does
// not name.
bool PackFile::saveList() try {
  const std::string text = formatList(&list_);
  return insertContents(text.data(), static_cast<uint32_t>(text.size()), kListFileName, true, true);
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

bool PackFile::verifyList() try {
  if (!hasList()) return false;
  DataStreamHandle stream(openStream(kListFileName));
  uint32_t listedSummary = 0;
  int32_t listedCount = 0;
  if (stream == nullptr || !readListHead(stream.get(), &listedSummary, &listedCount)) {
    return false;
  }
  uint32_t summary = kEmptyListSummary;
  int32_t count = 0;
  while (!stream->eof()) {
    const std::string line = readListLine(stream.get(), kListLineCapacity);
    if (line.empty()) continue;
    const ListRowFields fields = splitListRow(line);
    if (fields.separators < 2) break;
    uint32_t checksum = 0;
    parseHex(fields.checksum, &checksum);
    summary ^= checksum;
    ++count;
  }
  return !stream->failed() && summary == listedSummary && count == listedCount;
} catch (const std::bad_alloc&) {
  return outOfMemory(false);
}

}  // namespace AXP
