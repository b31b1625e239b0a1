#include "frontend/program_options.h"

namespace qelt {
namespace {

const char kHelpLong[] = "--help";
const char kHelpShort[] = "-h";
const char kUnattended[] = "--unattended";
const char kInstallDir[] = "--install-dir";
const char kClientProgram[] = "--client-program";

const char kHelpText[] =
    "usage: qelt-patch [--unattended] [--install-dir DIR]... [--client-program NAME]\n"
    "\n"
    "Updates an installation of the game 《溪云归棹》 with the patch package this\n"
    "program carries. The installation is looked for in the path the game's\n"
    "installer left in the Wine registry, then in this program's own folder, then\n"
    "the folder picker asks.\n"
    "\n"
    "On a terminal the patch dialog is shown there: type the key of a button and\n"
    "Enter (s: 开始升级, c or Escape: 取消/确定, b: 浏览, q: close the window).\n"
    "Without a terminal, or with --unattended, nobody is asked: the update starts\n"
    "as soon as it can, every status line is printed, and the exit status is 0\n"
    "after \"更新结束\" and 1 after any failure.\n"
    "\n"
    "options:\n"
    "  --unattended          run without asking anybody, also on a terminal\n"
    "  --install-dir DIR     unattended: the folder picker's answer; given several\n"
    "                        times, each failed attempt tries the next folder\n"
    "  --client-program NAME program file of the game client that must not run\n"
    "                        while the game is updated (default: Game.exe)\n"
    "  -h, --help            show this text\n";

}  // namespace

bool parseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions* options, std::string* error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == kHelpLong || argument == kHelpShort) {
      options->showHelp = true;
    } else if (argument == kUnattended) {
      options->unattended = true;
    } else if (argument == kInstallDir || argument == kClientProgram) {
      if (i + 1 == arguments.size()) {
        *error = "option '" + argument + "' needs a value";
        return false;
      }
      const std::string& value = arguments[++i];
      if (argument == kInstallDir) {
        options->installDirs.push_back(value);
      } else {
        options->clientProgram = value;
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
