#include "pack_list.h"

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/name_text.h"
#include "axp/pack/list_rows.h"
#include "axp/pack/pack_format.h"
#include "packed_file_reader.h"

namespace axptool {
namespace {

const char kUnlistableName[] = "File=%s(cannot be listed)";
const char kReservedName[] = "File=%s(reserved name)";
const char kForbiddenInName[] = "|\r\n";
// The summary line and the count line come before the rows.
const int kHeadLines = 2;

std::string nameKey(const std::string& name) { return AXP::normalizeName(name, true, true); }

bool hasList(AXP::PackFile* pack) {
  AXP::EntryInfo info{};
  return pack->findEntry(AXP::kListFileName, &info) >= 0;
}

// Splits the (list) into lines as its pieces arrive.
class RowCollector {
 public:
  explicit RowCollector(std::vector<std::string>* rows) : rows_(rows) {}

  void take(const char* data, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
      if (data[i] == '\n') {
        endLine();
      } else {
        pending_ += data[i];
      }
    }
  }
  // A last line without a line feed is a row too.
  void finish() {
    if (!pending_.empty()) endLine();
  }

 private:
  void endLine() {
    if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
    if (linesSeen_ >= kHeadLines && !pending_.empty()) rows_->push_back(pending_);
    ++linesSeen_;
    pending_.clear();
  }

  std::vector<std::string>* rows_;
  std::string pending_;
  int linesSeen_ = 0;
};

bool holdsEveryRow(const AXP::PackFile& pack, const std::vector<std::string>& rows) {
  for (const std::string& row : rows) {
    if (pack.list().files.count(AXP::splitListRow(row).name) == 0) return false;
  }
  return true;
}

}  // namespace

bool readStoredRows(AXP::PackFile* pack, std::vector<std::string>* rows) {
  rows->clear();
  if (!hasList(pack)) {
    reportListProblem(AXP::NotFound, *pack);
    return false;
  }
  RowCollector collector(rows);
  bool read = readPackedFile(pack, AXP::kListFileName, [&](const char* data, uint32_t length) {
    collector.take(data, length);
    return true;
  });
  collector.finish();
  return read;
}

bool loadPackList(AXP::PackFile* pack, ListState* state) {
  if (!hasList(pack)) {
    *state = ListState::Missing;
    return true;
  }
  const bool loaded = pack->loadList();
  std::vector<std::string> rows;
  if (!readStoredRows(pack, &rows)) return false;
  if (rows.empty()) {
    *state = ListState::Empty;
    return true;
  }
  // loadList stops at a malformed row and skips others; saving such a
  // partial list after an edit would drop the names it missed for good.
  if (loaded && holdsEveryRow(*pack, rows)) {
    *state = ListState::Loaded;
    return true;
  }
  reportListProblem(AXP::BadData, *pack);
  return false;
}

std::string listedSpelling(const AXP::PackFile& pack, const std::string& name) {
  const std::string key = nameKey(name);
  for (const auto& row : pack.list().files) {
    if (nameKey(row.first) == key) return row.first;
  }
  return name;
}

bool checkListableName(const std::string& name) {
  if (name.empty() || name.size() > AXP::kMaxPath || name.find_first_of(kForbiddenInName) != std::string::npos) {
    AXP::reportError(AXP::BadArgument, kUnlistableName, name.c_str());
    return false;
  }
  return true;
}

bool checkPackableName(const std::string& name) {
  if (!checkListableName(name)) return false;
  if (nameKey(name) != AXP::kListFileName) return true;
  AXP::reportError(AXP::BadArgument, kReservedName, name.c_str());
  return false;
}

void reportListProblem(int32_t code, const AXP::PackFile& pack) {
  AXP::reportError(code, AXP::messages::kPartOf, AXP::kListFileName, pack.path().c_str());
}

}  // namespace axptool
