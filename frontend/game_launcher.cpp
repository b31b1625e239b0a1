#include "frontend/game_launcher.h"

#include "host/process.h"
#include "platform/path.h"

namespace qelt {
namespace {

const char kLauncherName[] = "Launch.exe";

}  // namespace

bool launchGame(const std::string& installDir) {
  return host::startProcess(platform::pathAppend(installDir, kLauncherName), {}, installDir);
}

}  // namespace qelt
