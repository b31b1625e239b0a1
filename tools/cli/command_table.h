// Git-style command lines: "<program> <command> [arguments]" for the
// program's own commands and "<program> <group> <command> [arguments]" for
// the commands of a group. Each command names its arguments, its options
// and the function that runs it. The table answers --help at every level,
// turns wrong command lines into usage errors (exit status 2) and failed
// runs into the error record's message (exit status 1).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/arguments.h"

namespace cli {

struct Command {
  std::string name;
  std::string synopsis;  // the arguments as shown in help texts: "PACK NAME FILE"
  std::string summary;   // one line
  std::vector<Option> options;
  size_t minArguments = 0;
  size_t maxArguments = 0;
  // True on success. On failure the reason is in the error record.
  std::function<bool(const ParsedArguments&)> run;
};

struct CommandGroup {
  std::string name;
  std::string summary;
  std::vector<Command> commands;
};

// Names are looked up among the commands first, so a command hides a group
// of the same name.
struct Program {
  std::string name;
  std::string summary;
  std::vector<CommandGroup> groups;
  std::vector<Command> commands;  // run as "<program> <command>"
  std::string version;            // "--version" prints "<name> <version>"; empty: no such option
};

// Runs one command line (`arguments` without the program's own name) and
// returns the exit status: 0 success, help or version shown, 1 failure, 2
// usage error.
int runProgram(const Program& program, const std::vector<std::string>& arguments);

}  // namespace cli
