// The command line of qelt-patch.
#pragma once

#include <string>
#include <vector>

namespace qelt {

struct ProgramOptions {
  bool showHelp = false;
  bool unattended = false;
  // Answers of the folder picker when nobody is asked, in order.
  std::vector<std::string> installDirs;
  std::string clientProgram = "Game.exe";
};

// False with a one-line reason in `*error` for an unknown option, a
// missing value or a stray argument.
bool parseProgramOptions(const std::vector<std::string>& arguments, ProgramOptions* options, std::string* error);

// The text --help prints.
std::string programHelp();

}  // namespace qelt
