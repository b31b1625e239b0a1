// How the tools tell the user what went wrong. Failures of the library (and
// of the tools' own checks, which report through the same error record)
// read "<program>: error: <plain words> (code N, <technical text>)": what
// went wrong as a person would say it, then the system's code and message,
// which scripts and support rely on. Wrong command lines read
// "<program>: error: <what is wrong>" followed by a pointer to --help.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// Exit statuses of every tool.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A few words naming an error code of the record ("bad argument"); the
// plain words of a failure nobody explained.
const char* describeErrorCode(int32_t code);

// "<program>: error: <words> (code N, <message>)\n"; empty words are
// replaced by describeErrorCode(code), and an empty message leaves only
// "(code N)".
std::string formatRecordedError(const std::string& program, const std::string& words, int32_t code,
                                 const std::string& message);

// Plain words for the failure now in the error record, printed before its
// code and message; a later explanation replaces an earlier one. Returns
// false, so that a failing step can end with `return explain(...)`.
bool explain(const std::string& words);
// The words given since the last clearExplanation(); empty when none.
const std::string& explanation();
void clearExplanation();

// The error record's contents with the explanation, to standard error.
void printRecordedError(const std::string& program);

// "<program>: warning: <what>\n" to standard error.
void printWarning(const std::string& program, const std::string& what);

// "<program>: error: <what>\nTry '<helpCommand> --help' for more information.\n"
std::string formatUsageError(const std::string& program, const std::string& what,
                             const std::string& helpCommand);
void printUsageError(const std::string& program, const std::string& what, const std::string& helpCommand);

}  // namespace cli
