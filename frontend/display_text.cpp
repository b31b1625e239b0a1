#include "frontend/display_text.h"

#include "host/text_encoding.h"

namespace qelt {
namespace {

const char kLineFeed = '\n';
const char kReturn = '\r';
const char kTab = '\t';
const char kBlank = ' ';
constexpr unsigned char kDelete = 0x7F;

const char kUnreadable = '?';
constexpr unsigned char kFirstGbkLead = 0x81;
constexpr unsigned char kLastGbkLead = 0xFE;

unsigned char byteAt(const std::string& text, size_t i) { return static_cast<unsigned char>(text[i]); }

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at `i` (shortest forms only, no
// surrogates), 0 when none starts there.
size_t utf8SequenceAt(const std::string& text, size_t i) {
  const unsigned char lead = byteAt(text, i);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  const unsigned char second = byteAt(text, i + 1);
  if (second < low || second > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (!isContinuation(byteAt(text, i + k))) return 0;
  }
  return length;
}

// Appends a stretch that is not UTF-8, read as GBK when it is GBK.
void appendStretch(const std::string& stretch, std::string* out) {
  std::string converted;
  if (host::ansiToUtf8(stretch, &converted)) {
    *out += converted;
  } else {
    out->append(stretch.size(), kUnreadable);
  }
}

bool isControl(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == kDelete;
}

}  // namespace

std::string readableText(const std::string& text) {
  std::string readable;
  std::string stretch;
  size_t i = 0;
  while (i < text.size()) {
    // Inside a GBK stretch, bytes from 0x80 up stay GBK up to the next
    // ASCII byte, even where a pair happens to look like UTF-8.
    const bool inStretch = !stretch.empty() && byteAt(text, i) >= 0x80;
    const size_t length = inStretch ? 0 : utf8SequenceAt(text, i);
    if (length > 0) {
      if (!stretch.empty()) appendStretch(stretch, &readable);
      stretch.clear();
      readable.append(text, i, length);
      i += length;
      continue;
    }
    // A GBK lead byte takes the byte after it along, whatever it looks like.
    const unsigned char lead = byteAt(text, i);
    const size_t taken = lead >= kFirstGbkLead && lead <= kLastGbkLead && i + 1 < text.size() ? 2 : 1;
    stretch.append(text, i, taken);
    i += taken;
  }
  if (!stretch.empty()) appendStretch(stretch, &readable);
  return readable;
}

namespace {

bool isUtf8(const std::string& text) {
  for (size_t i = 0, length = 0; i < text.size(); i += length) {
    length = utf8SequenceAt(text, i);
    if (length == 0) return false;
  }
  return true;
}

// A text wholly from outside, like the release notes, is written in one
// code page: read piece by piece, a GBK pair after a line break could pass
// for UTF-8 ("一" for "һ").
std::string readableWhole(const std::string& text) {
  std::string utf8;
  if (isUtf8(text)) return text;
  if (host::ansiToUtf8(text, &utf8)) return utf8;
  return readableText(text);
}

}  // namespace

std::string displayLine(const std::string& text) {
  std::string line = readableText(text);
  for (char& c : line) {
    if (isControl(c)) c = kBlank;
  }
  return line;
}

std::string displayLines(const std::string& text) {
  const std::string readable = readableWhole(text);
  std::string lines;
  lines.reserve(readable.size());
  for (size_t i = 0; i < readable.size(); ++i) {
    char c = readable[i];
    if (c == kReturn) {
      if (i + 1 < readable.size() && readable[i + 1] == kLineFeed) ++i;
      lines += kLineFeed;
    } else if (c == kLineFeed || c == kTab || !isControl(c)) {
      lines += c;
    }
  }
  return lines;
}

}  // namespace qelt
