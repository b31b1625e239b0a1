// How the tools tell the user what went wrong. Failures of the library (and
// of the tools' own checks, which report through the same error record)
// read "<program>: error: <message> (code N)"; wrong command lines read
// "<program>: error: <what is wrong>" followed by a pointer to --help.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// Exit statuses of every tool.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A few words naming an error code of the record ("bad argument"); used
// when the record carries no message of its own.
const char* describeErrorCode(int32_t code);

// "<program>: error: <message> (code N)\n"; an empty message is replaced by
// describeErrorCode(code).
std::string formatRecordedError(const std::string& program, int32_t code, const std::string& message);
// The same for the current contents of the error record, to standard error.
void printRecordedError(const std::string& program);

// "<program>: error: <what>\nTry '<helpCommand> --help' for more information.\n"
std::string formatUsageError(const std::string& program, const std::string& what,
                             const std::string& helpCommand);
void printUsageError(const std::string& program, const std::string& what, const std::string& helpCommand);

}  // namespace cli
