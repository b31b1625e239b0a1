#include "apply_progress.h"

#include "command_lines.h"

namespace axptool {

std::string describeOperation(const char* pack, const char* name, int32_t op) {
  std::string text = commandVerb(op) + " " + name;
  if (*pack != '\0') text += std::string(" in ") + pack;
  return text;
}

ApplyProgress::ApplyProgress(uint64_t total) : bar_(std::string(), total) {}

AXP::ProgressCallback ApplyProgress::callback() {
  return [this](const char* pack, const char* name, int32_t op) { report(pack, name, op); };
}

void ApplyProgress::report(const char* pack, const char* name, int32_t op) {
  lastOperation_ = describeOperation(pack, name, op);
  bar_.setLabel(lastOperation_);
  // Told before the operation's action: the ones before it are done.
  bar_.update(done_);
  ++done_;
}

}  // namespace axptool
