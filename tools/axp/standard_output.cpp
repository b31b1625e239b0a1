#include "standard_output.h"

#include <cerrno>
#include <cstdio>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"

namespace axptool {
namespace {

const char kStandardOutput[] = "(stdout)";
const char kOk[] = "ok";

bool writeFailed() {
  AXP::reportError(AXP::WriteFailed, AXP::messages::kFileWriteError, kStandardOutput, errno);
  return false;
}

}  // namespace

bool writeOut(const char* data, size_t length) {
  return std::fwrite(data, 1, length, stdout) == length || writeFailed();
}

bool writeOut(const std::string& text) { return writeOut(text.data(), text.size()); }

bool writeLine(const std::string& text) { return writeOut(text) && writeOut("\n", 1); }

bool flushOut() { return std::fflush(stdout) == 0 || writeFailed(); }

bool printOk() { return writeLine(kOk) && flushOut(); }

}  // namespace axptool
