#include "cli/command_table.h"

#include <algorithm>
#include <cstdio>

#include "cli/error_report.h"

namespace cli {
namespace {

const char kHelpLong[] = "--help";
const char kHelpShort[] = "-h";
const char kEndOfOptions[] = "--";
const size_t kMinListColumn = 14;

// True when --help (or -h) comes before any "--".
bool asksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == kEndOfOptions) return false;
    if (argument == kHelpLong || argument == kHelpShort) return true;
  }
  return false;
}

// Aligned "  name  text" lines.
std::string formatList(const std::vector<std::pair<std::string, std::string>>& rows) {
  size_t column = kMinListColumn;
  for (const auto& row : rows) column = std::max(column, row.first.size() + 4);
  std::string text;
  for (const auto& row : rows) {
    std::string line = "  " + row.first;
    line.append(column - line.size(), ' ');
    text += line + row.second + "\n";
  }
  return text;
}

void printHelp(const std::string& text) { std::fputs(text.c_str(), stdout); }

std::string programHelp(const Program& program) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const CommandGroup& group : program.groups) rows.emplace_back(group.name, group.summary);
  return "usage: " + program.name + " <group> <command> [arguments]\n\n" + program.summary +
         "\n\ncommand groups:\n" + formatList(rows) + "\nRun '" + program.name +
         " <group> --help' for the commands of a group.\n";
}

std::string groupHelp(const Program& program, const CommandGroup& group) {
  std::string prefix = program.name + " " + group.name;
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Command& command : group.commands) {
    rows.emplace_back(command.synopsis.empty() ? command.name : command.name + " " + command.synopsis,
                      command.summary);
  }
  return "usage: " + prefix + " <command> [arguments]\n\n" + group.summary + "\n\ncommands:\n" +
         formatList(rows) + "\nRun '" + prefix + " <command> --help' for the options of a command.\n";
}

std::string commandHelp(const std::string& prefix, const Command& command) {
  std::string text = "usage: " + prefix;
  if (!command.synopsis.empty()) text += " " + command.synopsis;
  text += "\n\n" + command.summary + "\n";
  std::string options = formatOptionsHelp(command.options);
  if (!options.empty()) text += "\n" + options;
  return text;
}

template <typename Item>
const Item* findByName(const std::vector<Item>& items, const std::string& name) {
  for (const Item& item : items) {
    if (item.name == name) return &item;
  }
  return nullptr;
}

int runCommand(const Program& program, const std::string& prefix, const Command& command,
               const std::vector<std::string>& arguments) {
  if (asksForHelp(arguments)) {
    printHelp(commandHelp(prefix, command));
    return kExitSuccess;
  }
  ParsedArguments parsed;
  std::string error;
  if (!parseArguments(command.options, arguments, &parsed, &error)) {
    printUsageError(program.name, error, prefix);
    return kExitUsage;
  }
  size_t count = parsed.positionals().size();
  if (count < command.minArguments) {
    printUsageError(program.name, "too few arguments for '" + prefix + "'", prefix);
    return kExitUsage;
  }
  if (count > command.maxArguments) {
    printUsageError(program.name, "too many arguments for '" + prefix + "'", prefix);
    return kExitUsage;
  }
  if (command.run(parsed)) return kExitSuccess;
  printRecordedError(program.name);
  return kExitFailure;
}

int runGroup(const Program& program, const CommandGroup& group, const std::vector<std::string>& arguments) {
  std::string prefix = program.name + " " + group.name;
  if (arguments.empty()) {
    printUsageError(program.name, "missing command after '" + prefix + "'", prefix);
    return kExitUsage;
  }
  if (arguments[0] == kHelpLong || arguments[0] == kHelpShort) {
    printHelp(groupHelp(program, group));
    return kExitSuccess;
  }
  const Command* command = findByName(group.commands, arguments[0]);
  if (command == nullptr) {
    printUsageError(program.name, "unknown command '" + arguments[0] + "' in '" + prefix + "'", prefix);
    return kExitUsage;
  }
  return runCommand(program, prefix + " " + command->name, *command,
                    std::vector<std::string>(arguments.begin() + 1, arguments.end()));
}

}  // namespace

int runProgram(const Program& program, const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    printUsageError(program.name, "missing command group", program.name);
    return kExitUsage;
  }
  if (arguments[0] == kHelpLong || arguments[0] == kHelpShort) {
    printHelp(programHelp(program));
    return kExitSuccess;
  }
  const CommandGroup* group = findByName(program.groups, arguments[0]);
  if (group == nullptr) {
    printUsageError(program.name, "unknown command group '" + arguments[0] + "'", program.name);
    return kExitUsage;
  }
  return runGroup(program, *group, std::vector<std::string>(arguments.begin() + 1, arguments.end()));
}

}  // namespace cli
