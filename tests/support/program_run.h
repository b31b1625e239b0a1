// Runs a built program as a child process and collects what it says.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct ProgramResult {
  int status = -1;  // exit status; -1 when the program did not exit by itself
  std::string out;  // standard output
  std::string err;  // standard error
};

using EnvironmentChanges = std::vector<std::pair<std::string, std::string>>;

// Runs `program` with `arguments`, nothing on its standard input, and the
// variables of `environment` set for it alone.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const EnvironmentChanges& environment = {});

#ifndef _WIN32
// The same with the child's standard error on a pseudo-terminal `columns`
// wide. `err` holds what the terminal showed, line ends as the terminal
// turned them ("\r\n").
ProgramResult runProgramOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                                   const EnvironmentChanges& environment, int columns);
#endif

}  // namespace testing_support
