#include "host/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/system.h"

namespace host {
namespace {

// GB18030 reads every GBK text the same way and more besides.
constexpr char kAnsiCodePage[] = "GB18030";
constexpr char kUtf8[] = "UTF-8";
// A GBK character of two bytes never takes more than four in UTF-8.
constexpr size_t kGrowth = 2;

}  // namespace

bool ansiToUtf8(const std::string& ansi, std::string* utf8) {
  iconv_t converter = ::iconv_open(kUtf8, kAnsiCodePage);
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    platform::setLastSystemError(errno);
    return false;
  }
  std::string input = ansi;
  std::vector<char> output(ansi.size() * kGrowth + 1);
  char* in = input.data();
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  const bool converted = ::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  if (!converted) platform::setLastSystemError(errno);
  ::iconv_close(converter);
  if (converted) utf8->assign(output.data(), output.size() - outLeft);
  return converted;
}

}  // namespace host
