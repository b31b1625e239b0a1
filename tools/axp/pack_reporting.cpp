#include "pack_reporting.h"

#include "axp/common/error_record.h"
#include "cli/error_report.h"
#include "pack_list.h"

namespace axptool {
namespace {

bool reportUnlessReported(const cli::ErrorSnapshot& before, int32_t code, const AXP::PackFile& pack) {
  if (!before.recordChanged()) reportListProblem(code, pack);
  return false;
}

}  // namespace

bool saveListReported(AXP::PackFile* pack) {
  cli::ErrorSnapshot before;
  return pack->saveList() || reportUnlessReported(before, AXP::WriteFailed, *pack);
}

bool repairReported(AXP::PackFile* pack, const std::string& masterList) {
  cli::ErrorSnapshot before;
  return pack->repairFromList(masterList.c_str()) || reportUnlessReported(before, AXP::BadData, *pack);
}

bool closeReported(AXP::PackFile* pack) {
  cli::ErrorSnapshot before;
  pack->close();
  return !before.recordChanged();
}

}  // namespace axptool
