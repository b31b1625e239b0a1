#include "json_text.h"

#include <cstdio>

#include "host/text_encoding.h"

namespace axptool {
namespace {

const unsigned char kLastControl = 0x1F;
const unsigned char kFirstHighByte = 0x80;

// The length of a UTF-8 sequence by its lead byte; 0 for a byte no
// sequence starts with.
size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The range the byte after a lead must lie in: narrower after the leads
// whose sequences would otherwise be overlong, surrogates or beyond
// U+10FFFF.
bool secondByteFits(unsigned char lead, unsigned char second) {
  if (lead == 0xE0) return second >= 0xA0;
  if (lead == 0xED) return second < 0xA0;
  if (lead == 0xF0) return second >= 0x90;
  if (lead == 0xF4) return second < 0x90;
  return true;
}

// The length of the UTF-8 sequence at `at`; 0 when none starts there.
size_t utf8Length(const std::string& text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const size_t length = sequenceLength(lead);
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  }
  if (length > 1 && !secondByteFits(lead, static_cast<unsigned char>(text[at + 1]))) return 0;
  return length;
}

bool isUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = utf8Length(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// Valid UTF-8 text: every byte from 0x80 up belongs to a sequence and is
// copied as it is.
std::string escaped(const std::string& utf8) {
  std::string json = "\"";
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (byte <= kLastControl) {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04X", byte);
      json += code;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

// Each byte from 0x80 up as the two-byte UTF-8 form of its number.
std::string asLatin1(const std::string& text) {
  std::string utf8;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < kFirstHighByte) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | byte >> 6);
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

}  // namespace

std::string jsonString(const std::string& text) {
  if (isUtf8(text)) return escaped(text);
  std::string converted;
  if (host::ansiToUtf8(text, &converted)) return escaped(converted);
  return escaped(asLatin1(text));
}

}  // namespace axptool
