// The command line of qelt-patch and the exit statuses it ends with.
#pragma once

#include <string>
#include <vector>

#include "frontend/dialog_messages.h"

namespace qelt {

struct ProgramOptions {
  bool showHelp = false;
  bool showVersion = false;
  bool unattended = false;
  // Answers of the folder picker when nobody is asked, in order.
  std::vector<std::string> installDirs;
  std::string clientProgram = "Game.exe";
  // Unattended runs: a file that gets every line printed; empty for none.
  std::string logFile;
};

// Exit statuses of an unattended run; the dialog ends with 0 however the
// player closed it.
constexpr int kExitUpdated = 0;
constexpr int kExitApplyFailed = 1;  // also when the attempt could not start
constexpr int kExitUsage = 2;
constexpr int kExitNoInstallation = 3;
constexpr int kExitVersionOutOfRange = 4;
constexpr int kExitGameRunning = 5;
constexpr int kExitDamagedPackage = 6;

// The status for a run that updated the game or failed for `failure`.
int exitStatusFor(bool updated, PatchFailure failure);

// False with a one-line reason in `*error` for an unknown option, a
// missing value or a stray argument.
bool parseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions* options, std::string* error);

// The text --help prints.
std::string programHelp();

}  // namespace qelt
