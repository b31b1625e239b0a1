#include "apply_progress.h"

#include "axp/updater/command_list.h"

namespace axptool {

ApplyProgress* ApplyProgress::running_ = nullptr;

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

ApplyProgress::ApplyProgress(uint64_t total) : bar_(std::string(), total) { running_ = this; }

ApplyProgress::~ApplyProgress() { running_ = nullptr; }

void ApplyProgress::report(const char* pack, const char* name, int32_t op) {
  if (running_ == nullptr) return;
  ApplyProgress& progress = *running_;
  progress.bar_.setLabel(describeOperation(pack, name, op));
  // Told before the operation's action: the ones before it are done.
  progress.bar_.update(progress.done_);
  ++progress.done_;
}

}  // namespace axptool
