#include "frontend/program_options.h"

namespace qelt {
namespace {

const char kHelpLong[] = "--help";
const char kHelpShort[] = "-h";
const char kVersion[] = "--version";
const char kUnattended[] = "--unattended";
const char kInstallDir[] = "--install-dir";
const char kClientProgram[] = "--client-program";
const char kLog[] = "--log";

const char kHelpText[] =
    "usage: qelt-patch [--unattended] [--install-dir DIR]... [--client-program NAME] [--log FILE]\n"
    "   or: qelt-patch --version\n"
    "\n"
    "Updates an installation of the game 《溪云归棹》 with the patch package this\n"
    "program carries. The installation is looked for in the path the game's\n"
    "installer left in the Wine registry, then in this program's own folder, then\n"
    "the folder picker asks.\n"
    "\n"
    "On a terminal the patch dialog is shown there: press the key of a button\n"
    "(s: 开始升级, c or Escape: 取消/确定, b: 浏览, q: close the window).\n"
    "Without a terminal, or with --unattended, nobody is asked: the update starts\n"
    "as soon as it can and every status line is printed, the installation found\n"
    "and its version among them.\n"
    "\n"
    "options:\n"
    "  --unattended          run without asking anybody, also on a terminal\n"
    "  --install-dir DIR     unattended: the folder picker's answer; given several\n"
    "                        times, each failed attempt tries the next folder\n"
    "  --client-program NAME program file of the game client that must not run\n"
    "                        while the game is updated (default: Game.exe)\n"
    "  --log FILE            unattended: write every line printed to FILE too\n"
    "  --version             show the program's version and the versions its\n"
    "                        patch updates\n"
    "  -h, --help            show this text\n"
    "\n"
    "exit status of an unattended run (the dialog always ends with 0):\n"
    "  0  the game was updated (\"更新结束\")\n"
    "  1  the update started and failed; files it changed stay changed, so run\n"
    "     the patch again once the cause is fixed\n"
    "  2  wrong command line\n"
    "  3  no installation of the game found\n"
    "  4  the installed version is not one this patch updates\n"
    "  5  the game is running\n"
    "  6  the patch program or its package is damaged: download it again\n";

}  // namespace

int exitStatusFor(bool updated, PatchFailure failure) {
  if (updated) return kExitUpdated;
  switch (failure) {
    case PatchFailure::DamagedPackage:
      return kExitDamagedPackage;
    case PatchFailure::InstallationNotFound:
      return kExitNoInstallation;
    case PatchFailure::VersionOutOfRange:
      return kExitVersionOutOfRange;
    case PatchFailure::GameRunning:
      return kExitGameRunning;
    case PatchFailure::None:
    case PatchFailure::ApplyFailed:
    case PatchFailure::Other:
      break;
  }
  return kExitApplyFailed;
}

bool parseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions* options, std::string* error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == kHelpLong || argument == kHelpShort) {
      options->showHelp = true;
    } else if (argument == kVersion) {
      options->showVersion = true;
    } else if (argument == kUnattended) {
      options->unattended = true;
    } else if (argument == kInstallDir || argument == kClientProgram || argument == kLog) {
      if (i + 1 == arguments.size()) {
        *error = "option '" + argument + "' needs a value";
        return false;
      }
      const std::string& value = arguments[++i];
      if (argument == kInstallDir) {
        options->installDirs.push_back(value);
      } else if (argument == kClientProgram) {
        options->clientProgram = value;
      } else {
        options->logFile = value;
      }
    } else {
      *error = "unknown argument '" + argument + "'";
      return false;
    }
  }
  return true;
}

std::string programHelp() { return kHelpText; }

}  // namespace qelt
