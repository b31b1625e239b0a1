#include "command_line.h"

namespace host {
namespace {

// One argument in quotes, with each quote escaped and the backslashes
// before a quote, or before the closing one, doubled.
std::string quoted(const std::string& argument) {
  std::string text = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    text += c;
  }
  text.append(backslashes * 2, '\\');
  return text + "\"";
}

}  // namespace

std::string commandLine(const std::string& program, const std::vector<std::string>& arguments) {
  std::string line = quoted(program);
  for (const std::string& argument : arguments) line += " " + quoted(argument);
  return line;
}

}  // namespace host
