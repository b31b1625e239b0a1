// The texts of the writer's result codes.
#include <algorithm>
#include <cstring>

#include "axp/patchmaker/zip_writer.h"

namespace AXP {
namespace {

struct ResultText {
  uint32_t code;
  const char* text;
};

constexpr ResultText kResultTexts[] = {
    {kZipSuccess, "Success"},
    {kZipDuplicateFailed, "Culdn't duplicate handle"},
    {kZipOpenFailed, "Couldn't create/open file"},
    {kZipNoMemory, "Failed to allocate memory"},
    {kZipWriteFailed, "Error writing to file"},
    {kZipNotFound, "File not found in the zipfile"},
    {kZipMoreData, "Still more data to unzip"},
    {kZipCorrupt, "Zipfile is corrupt or not a zipfile"},
    {kZipReadFailed, "Error reading file"},
    {kZipBadArguments, "Caller: faulty arguments"},
    {kZipNotMemoryArchive, "Caller: can only get memory of a memory zipfile"},
    {kZipMemoryFull, "Caller: not enough space allocated for memory zipfile"},
    {kZipPreviousError, "Caller: there was a previous error"},
    {kZipEnded, "Caller: additions to the zip have already been ended"},
    {kZipSizeMismatch, "Zip-bug: the anticipated size turned out wrong"},
    {kZipPartlyUnzipped, "Caller: the file had already been partially unzipped"},
    {kZipMixedUse, "Caller: mixing creation and opening of zip"},
    {kZipNotInitialised, "Zip-bug: internal initialisation not completed"},
    {kZipUnseekable, "Zip-bug: trying to seek the unseekable"},
    {kZipChangedMind, "Zip-bug: tried to change mind, but not allowed"},
    {kZipFlateError, "Zip-bug: an internal error during flation"},
};
constexpr const char* kUnknownResultText = "unknown zip result code";

const char* resultText(uint32_t code) {
  for (const ResultText& entry : kResultTexts) {
    if (entry.code == code) return entry.text;
  }
  return kUnknownResultText;
}

}  // namespace

uint32_t describeArchiveResult(uint32_t code, char* buffer, uint32_t capacity) {
  const char* text = resultText(code == kZipLastResult ? lastArchiveResult() : code);
  const auto length = static_cast<uint32_t>(std::strlen(text));
  if (buffer == nullptr || capacity == 0) return length;
  const uint32_t copied = std::min(length, capacity - 1);
  std::memcpy(buffer, text, copied);
  buffer[copied] = '\0';
  return length;
}

}  // namespace AXP
