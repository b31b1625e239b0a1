#include "frontend/window/window_text.h"

#include <windows.h>

#include "frontend/display_text.h"

namespace qelt {
namespace {

std::wstring utf16(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int wide = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (wide <= 0) return {};
  std::wstring text(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, text.data(), wide);
  return text;
}

}  // namespace

std::wstring windowLine(const std::string& text) { return utf16(displayLine(text)); }

std::wstring windowLines(const std::string& text) {
  std::string lines;
  for (const char c : displayLines(text)) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return utf16(lines);
}

std::string ansiText(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string ansi(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

}  // namespace qelt
