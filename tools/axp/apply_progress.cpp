#include "apply_progress.h"

#include "axp/updater/command_list.h"

namespace axptool {

std::string describeOperation(const char* pack, const char* name, int32_t op) {
  std::string text;
  switch (op) {
    case AXP::kOpAddOrReplace:
      text = "add ";
      break;
    case AXP::kOpDelete:
      text = "delete ";
      break;
    default:
      text = "op " + std::to_string(op) + " ";
  }
  text += name;
  if (*pack != '\0') text += std::string(" in ") + pack;
  return text;
}

ApplyProgress::ApplyProgress(uint64_t total) : bar_(std::string(), total) {}

AXP::ProgressCallback ApplyProgress::callback() {
  return [this](const char* pack, const char* name, int32_t op) { report(pack, name, op); };
}

void ApplyProgress::report(const char* pack, const char* name, int32_t op) {
  bar_.setLabel(describeOperation(pack, name, op));
  // Told before the operation's action: the ones before it are done.
  bar_.update(done_);
  ++done_;
}

}  // namespace axptool
