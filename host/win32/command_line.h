// The command line of a program to start. Internal to host/win32 and the
// tests that start programs on Windows.
#pragma once

#include <string>
#include <vector>

namespace host {

// `program` and `arguments`, each quoted so that the C runtime of the
// started program splits them again as they were.
std::string commandLine(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace host
