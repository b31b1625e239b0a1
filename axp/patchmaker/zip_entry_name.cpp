#include "axp/patchmaker/zip_entry_name.h"

#include <cstring>
#include <string_view>

#include "axp/common/file_util.h"
#include "axp/common/name_text.h"

namespace AXP {
namespace {

constexpr std::string_view kStoredSuffixes[] = {".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz"};

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

bool makeEntryName(const char* name, bool folder, std::string* entryName) {
  if (name == nullptr) return false;
  const size_t length = std::strlen(name);
  if (length == 0 || length > kMaxPath) return false;
  *entryName = normalizeName(name, false, true);
  if (folder && entryName->back() != '/') entryName->push_back('/');
  return true;
}

bool hasStoredSuffix(const std::string& name) {
  const std::string::size_type dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view suffix = std::string_view(name).substr(dot);
  for (std::string_view stored : kStoredSuffixes) {
    if (equalIgnoringAsciiCase(suffix, stored)) return true;
  }
  return false;
}

}  // namespace AXP
