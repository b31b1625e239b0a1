#include "extract_path.h"

#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/name_text.h"

namespace axptool {
namespace {

const char kUnsafeName[] = "File=%s(leaves the target folder)";
const char kUnwritableName[] = "File=%s(no file of that name can be made here)";
const char kBackSlash = '\\';
const char kSeparator[] = "/";
const char kCurrent[] = ".";
const char kParent[] = "..";
const char kPrefixMark = ':';

bool refuse(const std::string& name, const char* why = kUnsafeName) {
  AXP::reportError(AXP::BadArgument, why, name.c_str());
  return false;
}

}  // namespace

bool extractionPath(const std::string& folder, const std::string& name, std::string* relativeOut) {
  // Back-slashes become slashes without touching the second byte of a
  // double-byte character, which may be 0x5C itself.
  std::string slashed = AXP::normalizeName(name, false, true);
  if (slashed.empty() || slashed[0] == kSeparator[0] || slashed.find(kPrefixMark) != std::string::npos) {
    return refuse(name);
  }
  // What is left of "\" is the second byte of double-byte characters; the
  // file layer reads every "\" as a separator, so the file would land
  // under another name.
  if (slashed.find(kBackSlash) != std::string::npos) return refuse(name, kUnwritableName);
  std::vector<std::string> components;
  AXP::splitString(slashed, &components, kSeparator, false, true);
  std::string relative;
  for (const std::string& component : components) {
    if (component == kParent) return refuse(name);
    if (component == kCurrent) continue;
    if (!relative.empty()) relative += kSeparator;
    relative += component;
  }
  if (relative.empty()) return refuse(name);
  std::string joined = folder;
  if (!AXP::appendPath(&joined, relative)) return false;
  *relativeOut = relative;
  return true;
}

}  // namespace axptool
