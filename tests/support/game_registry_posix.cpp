#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/game_registry.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace testing_support {
namespace {

const char kPrefixVariable[] = "WINEPREFIX";
const char kSystemRegistry[] =
    "WINE REGISTRY Version 2\n\n[Software\\\\Brindell\\\\QELT] 1700000000\n"
    "\"InstallPath\"=\"C:\\\\Games\\\\QELT\"\n";

}  // namespace

GameRegistry::GameRegistry(const std::string& scratchFolder)
    : scratchFolder_(scratchFolder), gameFolder_(scratchFolder + "/wine/drive_c/Games/QELT") {
  if (const char* old = std::getenv(kPrefixVariable)) {
    oldPrefix_ = old;
    hadPrefix_ = true;
  }
  setEnvironment(kPrefixVariable, (scratchFolder_ + "/wine").c_str());
}

GameRegistry::~GameRegistry() { setEnvironment(kPrefixVariable, hadPrefix_ ? oldPrefix_.c_str() : nullptr); }

bool GameRegistry::nameGameFolder() {
  std::error_code error;
  std::filesystem::create_directories(gameFolder_, error);
  std::filesystem::create_directories(scratchFolder_ + "/wine/dosdevices", error);
  if (::symlink((scratchFolder_ + "/wine/drive_c").c_str(), (scratchFolder_ + "/wine/dosdevices/c:").c_str()) != 0) {
    return false;
  }
  writeFile(scratchFolder_ + "/wine/system.reg", kSystemRegistry);
  return true;
}

}  // namespace testing_support
