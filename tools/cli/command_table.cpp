#include "cli/command_table.h"

#include <algorithm>
#include <cstdio>

#include "cli/error_report.h"

namespace cli {
namespace {

const char kHelpLong[] = "--help";
const char kHelpShort[] = "-h";
const char kEndOfOptions[] = "--";
const char kVersionOption[] = "--version";
const size_t kMinListColumn = 14;

// True when --help (or -h) comes before any "--".
bool asksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == kEndOfOptions) return false;
    if (argument == kHelpLong || argument == kHelpShort) return true;
  }
  return false;
}

using Rows = std::vector<std::pair<std::string, std::string>>;

// Aligned "  name  text" lines.
std::string formatList(const Rows& rows) {
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

// "name SYNOPSIS" beside each command's summary.
Rows commandRows(const std::vector<Command>& commands) {
  Rows rows;
  for (const Command& command : commands) {
    rows.emplace_back(command.synopsis.empty() ? command.name : command.name + " " + command.synopsis,
                      command.summary);
  }
  return rows;
}

// One usage form, section and hint for the program's own commands, and one
// each for its groups.
std::string programHelp(const Program& program) {
  const std::string& name = program.name;
  std::vector<std::string> forms;
  std::string sections;
  std::string hints;
  if (!program.commands.empty()) {
    forms.push_back(name + " <command> [arguments]");
    sections += "\ncommands:\n" + formatList(commandRows(program.commands));
    hints += "Run '" + name + " <command> --help' for the options of a command.\n";
  }
  if (!program.groups.empty()) {
    forms.push_back(name + " <group> <command> [arguments]");
    Rows groups;
    for (const CommandGroup& group : program.groups) groups.emplace_back(group.name, group.summary);
    sections += "\ncommand groups:\n" + formatList(groups);
    hints += "Run '" + name + " <group> --help' for the commands of a group.\n";
  }
  if (!program.version.empty()) forms.push_back(name + " " + kVersionOption);
  std::string text;
  for (size_t i = 0; i < forms.size(); ++i) text += (i == 0 ? "usage: " : "   or: ") + forms[i] + "\n";
  return text + "\n" + program.summary + "\n" + sections + "\n" + hints;
}

std::string groupHelp(const Program& program, const CommandGroup& group) {
  std::string prefix = program.name + " " + group.name;
  return "usage: " + prefix + " <command> [arguments]\n\n" + group.summary + "\n\ncommands:\n" +
         formatList(commandRows(group.commands)) + "\nRun '" + prefix +
         " <command> --help' for the options of a command.\n";
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
  clearExplanation();
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
    printUsageError(program.name, "missing command", program.name);
    return kExitUsage;
  }
  if (arguments[0] == kHelpLong || arguments[0] == kHelpShort) {
    printHelp(programHelp(program));
    return kExitSuccess;
  }
  if (arguments[0] == kVersionOption && !program.version.empty()) {
    printHelp(program.name + " " + program.version + "\n");
    return kExitSuccess;
  }
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (const Command* command = findByName(program.commands, arguments[0])) {
    return runCommand(program, program.name + " " + command->name, *command, rest);
  }
  if (const CommandGroup* group = findByName(program.groups, arguments[0])) {
    return runGroup(program, *group, rest);
  }
  printUsageError(program.name, "unknown command '" + arguments[0] + "'", program.name);
  return kExitUsage;
}

}  // namespace cli
