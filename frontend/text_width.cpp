#include "frontend/text_width.h"

#include <algorithm>
#include <cstdint>

namespace qelt {
namespace {

const char kLineFeed = '\n';
const char kTab = '\t';
constexpr int kTabStop = 8;

// Code point ranges drawn two columns wide: Hangul Jamo, CJK radicals to Yi,
// Hangul syllables, CJK compatibility ideographs and forms, full-width
// forms, and the ideographs beyond the basic plane.
constexpr uint32_t kWideRanges[][2] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Length of the UTF-8 sequence led by `lead`.
size_t sequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

uint32_t codePoint(const std::string& text, size_t at, size_t length) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (length == 1) return lead;
  uint32_t value = lead & (0x7F >> length);
  for (size_t k = 1; k < length && at + k < text.size(); ++k) {
    value = value << 6 | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  }
  return value;
}

int characterWidth(uint32_t value) {
  for (const auto& range : kWideRanges) {
    if (value >= range[0] && value <= range[1]) return 2;
  }
  return 1;
}

// Calls `each(at, length, width)` for every character of `text`.
template <typename Each>
void forEachCharacter(const std::string& text, Each each) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = std::min(sequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
    if (!each(at, length, characterWidth(codePoint(text, at, length)))) return;
    at += length;
  }
}

}  // namespace

int displayWidth(const std::string& text) {
  int width = 0;
  forEachCharacter(text, [&](size_t, size_t, int columns) {
    width += columns;
    return true;
  });
  return width;
}

std::string fitToWidth(const std::string& text, int columns) {
  int width = 0;
  size_t end = 0;
  forEachCharacter(text, [&](size_t at, size_t length, int characterColumns) {
    if (width + characterColumns > columns) return false;
    width += characterColumns;
    end = at + length;
    return true;
  });
  return text.substr(0, end);
}

std::vector<std::string> wrapToWidth(const std::string& text, int columns) {
  columns = std::max(columns, 2);
  std::vector<std::string> lines(1);
  int width = 0;
  forEachCharacter(text, [&](size_t at, size_t length, int characterColumns) {
    if (text[at] == kLineFeed) {
      lines.emplace_back();
      width = 0;
      return true;
    }
    std::string piece = text.substr(at, length);
    if (text[at] == kTab) {
      characterColumns = kTabStop - width % kTabStop;
      piece.assign(static_cast<size_t>(characterColumns), ' ');
    }
    if (width + characterColumns > columns) {
      lines.emplace_back();
      width = 0;
      if (text[at] == kTab) return true;
    }
    lines.back() += piece;
    width += characterColumns;
    return true;
  });
  return lines;
}

}  // namespace qelt
