#include "command_scratch.h"

#include <array>
#include <cstdio>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "entry_source.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr char kScratchPrefix[] = "~axp";
constexpr char kLineFormat[] = "%d|%s|%s\n";
// Command lines are read back through buffers of this size, terminating
// zero included.
constexpr size_t kLineBuffer = 1040;
// Lines gathered before they are written.
constexpr size_t kFlushBytes = 64 * 1024;


}  // namespace

CommandScratch::~CommandScratch() {
  file_.close();
  if (!path_.empty()) platform::deleteFile(path_);
}

bool CommandScratch::create() {
  path_ = platform::createUniqueTempFile(platform::tempFolder(), kScratchPrefix);
  if (path_.empty() ||
      !file_.open(path_, platform::Access::ReadWrite, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return true;
}

bool CommandScratch::appendLine(const PlanCommand& command) {
  std::array<char, kLineBuffer> line;
  const int length =
      std::snprintf(line.data(), line.size(), kLineFormat, command.op, command.pack.c_str(), command.name.c_str());
  if (length < 0 || static_cast<size_t>(length) >= line.size()) {
    reportError(WriteFailed, messages::kName, command.name.c_str());
    return false;
  }
  pending_.append(line.data(), static_cast<size_t>(length));
  return pending_.size() < kFlushBytes || flush();
}

bool CommandScratch::flush() {
  uint32_t written = 0;
  const uint32_t size = static_cast<uint32_t>(pending_.size());
  if (!file_.write(pending_.data(), size, &written) || written != size) {
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  pending_.clear();
  return true;
}

bool CommandScratch::finish(std::vector<uint8_t>* text) {
  if (!flush()) return false;
  if (!file_.close()) {
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return readWholeFile(path_, text);
}

}  // namespace AXP
