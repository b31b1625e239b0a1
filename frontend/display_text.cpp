#include "frontend/display_text.h"

namespace qelt {
namespace {

const char kLineFeed = '\n';
const char kReturn = '\r';
const char kTab = '\t';
const char kBlank = ' ';
constexpr unsigned char kDelete = 0x7F;

bool isControl(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == kDelete;
}

}  // namespace

std::string displayLine(const std::string& text) {
  std::string line = text;
  for (char& c : line) {
    if (isControl(c)) c = kBlank;
  }
  return line;
}

std::string displayLines(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == kReturn) {
      if (i + 1 < text.size() && text[i + 1] == kLineFeed) ++i;
      lines += kLineFeed;
    } else if (c == kLineFeed || c == kTab || !isControl(c)) {
      lines += c;
    }
  }
  return lines;
}

}  // namespace qelt
