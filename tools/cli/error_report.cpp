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
    {AXP::NotFound, "a file or name was not found"},
    {AXP::BadData, "the data is damaged or not in the expected form"},
    {AXP::OpenFailed, "a file could not be opened or created"},
    {AXP::ReadFailed, "a file could not be read"},
    {AXP::WriteFailed, "a file could not be written"},
    {AXP::SeekFailed, "a file could not be positioned"},
    {AXP::PackInEdit, "a pack is marked as being edited"},
    {AXP::BadArgument, "bad argument"},
    {AXP::HashTableFull, "the pack's hash table is full"},
    {AXP::NoBlock, "the pack has no block left"},
    {AXP::VersionNotFound, "the version folder is not registered"},
    {AXP::LibraryError, "a library the system uses failed"},
    {AXP::BadEntryRecord, "a pack entry record is damaged"},
    {AXP::SlotTaken, "a pack's hash slot is taken"},
    {AXP::BlockOutOfRange, "a pack's block index is out of range"},
    {AXP::RestoreCheckFailed, "a restored pack entry was not found"},
};
const char kUnknownCode[] = "unknown error";

const char kErrorPrefix[] = ": error: ";
const char kWarningPrefix[] = ": warning: ";

// The tools run one command per process, on one thread.
std::string& explanationText() {
  static std::string text;
  return text;
}

}  // namespace

const char* describeErrorCode(int32_t code) {
  for (const CodeDescription& entry : kCodeDescriptions) {
    if (entry.code == code) return entry.text;
  }
  return kUnknownCode;
}

std::string formatRecordedError(const std::string& program, const std::string& words, int32_t code,
                                 const std::string& message) {
  std::string text = program + kErrorPrefix + (words.empty() ? describeErrorCode(code) : words);
  text += " (code " + std::to_string(code);
  if (!message.empty()) text += ", " + message;
  return text + ")\n";
}

bool explain(const std::string& words) {
  explanationText() = words;
  return false;
}

const std::string& explanation() { return explanationText(); }

void clearExplanation() { explanationText().clear(); }

void printRecordedError(const std::string& program) {
  std::string text =
      formatRecordedError(program, explanation(), AXP::getLastErrorCode(), AXP::getLastErrorMessage());
  std::fputs(text.c_str(), stderr);
}

void printWarning(const std::string& program, const std::string& what) {
  std::fputs((program + kWarningPrefix + what + "\n").c_str(), stderr);
}

std::string formatUsageError(const std::string& program, const std::string& what,
                             const std::string& helpCommand) {
  return program + kErrorPrefix + what + "\nTry '" + helpCommand + " --help' for more information.\n";
}

void printUsageError(const std::string& program, const std::string& what, const std::string& helpCommand) {
  std::fputs(formatUsageError(program, what, helpCommand).c_str(), stderr);
}

}  // namespace cli
