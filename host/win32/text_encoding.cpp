// GBK texts turned into the UTF-8 the console is switched to in key mode.
#include <windows.h>

#include <string>

#include "host/text_encoding.h"
#include "platform/system.h"

namespace host {
namespace {

// The texts are GBK whatever code page the player's system has.
constexpr UINT kGbkCodePage = 936;

bool fail() {
  platform::setLastSystemError(static_cast<int>(::GetLastError()));
  return false;
}

// True when the bytes have the form of GBK: ASCII bytes, and lead bytes
// 0x81 to 0xFE each with a byte after them. Windows' code page 936 also
// reads a lone 0x80 (as the euro sign), which GBK and the POSIX conversion
// do not.
bool hasGbkForm(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) continue;
    if (byte == 0x80 || byte == 0xFF || i + 1 == text.size()) return false;
    ++i;
  }
  return true;
}

}  // namespace

bool ansiToUtf8(const std::string& ansi, std::string* utf8) {
  if (ansi.empty()) {
    utf8->clear();
    return true;
  }
  if (!hasGbkForm(ansi)) {
    platform::setLastSystemError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  const int length = static_cast<int>(ansi.size());
  const int wide = ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, ansi.data(), length, nullptr, 0);
  if (wide <= 0) return fail();
  std::wstring characters(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, ansi.data(), length, characters.data(), wide);
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, characters.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return fail();
  std::string converted(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, characters.data(), wide, converted.data(), bytes, nullptr, nullptr);
  *utf8 = converted;
  return true;
}

}  // namespace host
