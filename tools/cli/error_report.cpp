#include "cli/error_report.h"

#include <cstdio>

#include "axp/common/error_record.h"

namespace cli {
namespace {

struct CodeDescription {
  int32_t code;
  const char* text;
};

const CodeDescription kCodeDescriptions[] = {
    {AXP::NotFound, "not found"},
    {AXP::BadData, "bad data"},
    {AXP::OpenFailed, "cannot open"},
    {AXP::ReadFailed, "read failed"},
    {AXP::WriteFailed, "write failed"},
    {AXP::SeekFailed, "seek failed"},
    {AXP::PackInEdit, "pack is marked as being edited"},
    {AXP::BadArgument, "bad argument"},
    {AXP::HashTableFull, "hash table full"},
    {AXP::NoBlock, "no block left"},
    {AXP::VersionNotFound, "version not found"},
    {AXP::LibraryError, "library error"},
    {AXP::BadEntryRecord, "bad entry record"},
    {AXP::SlotTaken, "hash slot taken"},
    {AXP::BlockOutOfRange, "block index out of range"},
    {AXP::RestoreCheckFailed, "restored entry not found"},
};
const char kUnknownCode[] = "unknown error";

const char kErrorPrefix[] = ": error: ";

}  // namespace

const char* describeErrorCode(int32_t code) {
  for (const CodeDescription& entry : kCodeDescriptions) {
    if (entry.code == code) return entry.text;
  }
  return kUnknownCode;
}

std::string formatRecordedError(const std::string& program, int32_t code, const std::string& message) {
  std::string text = program + kErrorPrefix;
  text += message.empty() ? describeErrorCode(code) : message;
  text += " (code " + std::to_string(code) + ")\n";
  return text;
}

void printRecordedError(const std::string& program) {
  std::string text = formatRecordedError(program, AXP::getLastErrorCode(), AXP::getLastErrorMessage());
  std::fputs(text.c_str(), stderr);
}

std::string formatUsageError(const std::string& program, const std::string& what,
                             const std::string& helpCommand) {
  return program + kErrorPrefix + what + "\nTry '" + helpCommand + " --help' for more information.\n";
}

void printUsageError(const std::string& program, const std::string& what, const std::string& helpCommand) {
  std::fputs(formatUsageError(program, what, helpCommand).c_str(), stderr);
}

}  // namespace cli
