#include "frontend/apply_progress.h"

#include "axp/updater/command_list.h"
#include "frontend/dialog_messages.h"
#include "frontend/text_format.h"

namespace qelt {
namespace {

const char kUpdatingFormat[] = "更新文件%s";
const char kDeletingFormat[] = "删除文件%s";
const char kOtherFormat[] = "%s";

}  // namespace

int progressPercent(int32_t counter, uint32_t count) {
  // The updater calls back once per counted operation, so the counter stays
  // below the count; the bounds keep a miscount from showing nonsense.
  if (count == 0 || counter <= 0) return kProgressEmpty;
  double percent = counter * static_cast<double>(kProgressFull) / count + 0.5;
  return percent >= kProgressFull ? kProgressFull : static_cast<int>(percent);
}

std::string progressText(int32_t kind, const char* name) {
  switch (kind) {
    case AXP::kOpAddOrReplace:
      return formatText(kUpdatingFormat, name);
    case AXP::kOpDelete:
      return formatText(kDeletingFormat, name);
    default:
      return formatText(kOtherFormat, name);
  }
}

}  // namespace qelt
