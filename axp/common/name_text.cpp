#include "axp/common/name_text.h"

namespace AXP {
namespace {

// Lead bytes of a double-byte character in the system's code page.
constexpr unsigned char kFirstLeadByte = 0x81;
constexpr unsigned char kLastLeadByte = 0xFE;

bool isLeadByte(unsigned char byte) { return byte >= kFirstLeadByte && byte <= kLastLeadByte; }

}  // namespace

std::string normalizeName(const std::string& text, bool lower, bool slash) {
  std::string result = text;
  if (!lower && !slash) return result;
  size_t i = 0;
  while (i < result.size()) {
    const unsigned char byte = static_cast<unsigned char>(result[i]);
    if (lower && byte >= 'A' && byte <= 'Z') {
      result[i] = static_cast<char>(byte - 'A' + 'a');
    } else if (slash && byte == '\\') {
      result[i] = '/';
    } else if (isLeadByte(byte)) {
      // The second byte of the character may look like "\" or a capital
      // letter; it is part of the character and stays as it is.
      ++i;
    }
    ++i;
  }
  return result;
}

int splitString(const std::string& text, std::vector<std::string>* pieces, const std::string& delimiters,
                bool anyOf, bool skipEmpty) {
  pieces->clear();
  if (text.empty()) return 0;
  // With no separator at all the whole text is the one piece.
  const size_t separatorLength = anyOf ? 1 : delimiters.size();
  size_t start = 0;
  for (;;) {
    size_t at = std::string::npos;
    if (!delimiters.empty()) at = anyOf ? text.find_first_of(delimiters, start) : text.find(delimiters, start);
    const size_t end = at == std::string::npos ? text.size() : at;
    if (end > start || !skipEmpty) pieces->push_back(text.substr(start, end - start));
    if (at == std::string::npos) break;
    start = at + separatorLength;
  }
  return static_cast<int>(pieces->size());
}

}  // namespace AXP
