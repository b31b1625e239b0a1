#include <windows.h>

#include <filesystem>

#include "support/game_registry.h"

namespace testing_support {
namespace {

const char kGameKey[] = "SOFTWARE\\Brindell\\QELT";
const char kInstallPath[] = "InstallPath";

void removeValue() {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGameKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return;
  ::RegDeleteValueA(key, kInstallPath);
  ::RegCloseKey(key);
}

}  // namespace

// A value an earlier run left behind would name a stranger's folder.
GameRegistry::GameRegistry(const std::string& scratchFolder)
    : scratchFolder_(scratchFolder), gameFolder_(scratchFolder + "\\Games\\QELT") {
  removeValue();
}

GameRegistry::~GameRegistry() { removeValue(); }

bool GameRegistry::nameGameFolder() {
  std::error_code error;
  std::filesystem::create_directories(gameFolder_, error);
  HKEY key = nullptr;
  if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGameKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool set = ::RegSetValueExA(key, kInstallPath, 0, REG_SZ, reinterpret_cast<const BYTE*>(gameFolder_.c_str()),
                                    static_cast<DWORD>(gameFolder_.size() + 1)) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  return set;
}

}  // namespace testing_support
