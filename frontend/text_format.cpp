#include "frontend/text_format.h"

#include <cstdarg>
#include <cstdio>

namespace qelt {
namespace {

bool isContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes a UTF-8 sequence with this lead byte takes; 1 for anything else.
size_t sequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// Drops a UTF-8 sequence left incomplete at the end of a cut text.
void dropSplitCharacter(std::string* text) {
  size_t lead = text->size();
  while (lead > 0 && text->size() - lead < 3 && isContinuationByte(static_cast<unsigned char>((*text)[lead - 1]))) {
    --lead;
  }
  if (lead == 0) return;
  --lead;
  if (lead + sequenceLength(static_cast<unsigned char>((*text)[lead])) > text->size()) text->resize(lead);
}

}  // namespace

std::string formatText(const char* format, ...) {
  char buffer[kMaxShownText + 1];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (length < 0) return {};
  std::string text(buffer);
  if (static_cast<size_t>(length) > kMaxShownText) dropSplitCharacter(&text);
  return text;
}

}  // namespace qelt
