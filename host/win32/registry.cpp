// Reading string values of the registry, in the view a 32-bit program has.
#include <windows.h>

#include <string>
#include <vector>

#include "host/registry.h"
#include "platform/system.h"

namespace host {
namespace {

struct Hive {
  const char* name;
  HKEY key;
};
const Hive kHives[] = {
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
};

bool fail(LONG error) {
  platform::setLastSystemError(static_cast<int>(error));
  return false;
}

HKEY hiveKey(const std::string& hive) {
  for (const Hive& known : kHives) {
    if (::lstrcmpiA(known.name, hive.c_str()) == 0) return known.key;
  }
  return nullptr;
}

// A key path as the registry takes it: "\" between names, none at the ends.
std::string keyPath(std::string key) {
  for (char& c : key) {
    if (c == '/') c = '\\';
  }
  while (!key.empty() && key.front() == '\\') key.erase(0, 1);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

// The string of an open key's value; the registry may change it between
// asking for its size and reading it, so a grown value is read again.
LONG readString(HKEY key, const std::string& valueName, std::string* value) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG result = ::RegQueryValueExA(key, valueName.empty() ? nullptr : valueName.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(size + 1);
      continue;
    }
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_PARAMETER;
    // Stored strings need not end with their terminator.
    std::string text(buffer.data(), size);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    *value = text;
    return ERROR_SUCCESS;
  }
}

}  // namespace

bool readRegistryValue(const std::string& hive, const std::string& key, const std::string& valueName,
                       std::string* value) {
  HKEY root = hiveKey(hive);
  if (root == nullptr) return fail(ERROR_INVALID_PARAMETER);
  HKEY opened = nullptr;
  const LONG result =
      ::RegOpenKeyExA(root, keyPath(key).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened);
  if (result != ERROR_SUCCESS) return fail(result);
  const LONG read = readString(opened, valueName, value);
  ::RegCloseKey(opened);
  return read == ERROR_SUCCESS || fail(read);
}

std::string mapWindowsPath(const std::string& windowsPath) { return windowsPath; }

}  // namespace host
