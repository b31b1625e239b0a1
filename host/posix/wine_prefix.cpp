// Where the Wine prefix lies, and what its drive letters stand for.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>

#include "host/registry.h"
#include "platform/path.h"
#include "wine_prefix.h"

namespace host {
namespace {

constexpr const char* kPrefixVariable = "WINEPREFIX";
constexpr const char* kHomeVariable = "HOME";
constexpr const char* kDefaultPrefix = ".wine";
constexpr const char* kDriveFolder = "dosdevices";

bool isDrivePath(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path.size() == 2 || platform::isSeparator(path[2]));
}

// The folder a drive letter stands for: where its dosdevices link leads,
// or the link's own path when it leads nowhere (then nothing under it
// exists, which is the truth about an unmapped drive).
std::string driveFolder(const std::string& prefix, char letter) {
  const std::string drive = {static_cast<char>(std::tolower(static_cast<unsigned char>(letter))), ':'};
  std::string link = platform::pathAppend(platform::pathAppend(prefix, kDriveFolder), drive);
  char target[PATH_MAX];
  if (::realpath(link.c_str(), target) == nullptr) return link;
  return target;
}

}  // namespace

std::string winePrefix() {
  const char* prefix = std::getenv(kPrefixVariable);
  if (prefix != nullptr && *prefix != '\0') {
    std::string folder = prefix;
    platform::removeTrailingSeparator(&folder);
    return folder;
  }
  const char* home = std::getenv(kHomeVariable);
  if (home == nullptr || *home == '\0') return {};
  return platform::pathAppend(home, kDefaultPrefix);
}

std::string mapWindowsPath(const std::string& windowsPath) {
  const std::string prefix = winePrefix();
  if (!isDrivePath(windowsPath) || prefix.empty()) return windowsPath;
  std::string rest = windowsPath.substr(2);
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return platform::pathAppend(driveFolder(prefix, windowsPath[0]), rest);
}

}  // namespace host
