#include "cli/arguments.h"

#include <algorithm>

namespace cli {
namespace {

const char kEndOfOptions[] = "--";
const char kLongPrefix[] = "--";
// Help texts start the descriptions in one column, at least this far in.
const size_t kMinHelpColumn = 22;

const Option* findLong(const std::vector<Option>& options, const std::string& name) {
  for (const Option& option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

const Option* findShort(const std::vector<Option>& options, char name) {
  for (const Option& option : options) {
    if (option.shortName != '\0' && option.shortName == name) return &option;
  }
  return nullptr;
}

bool isLongOption(const std::string& argument) {
  return argument.size() > 2 && argument.compare(0, 2, kLongPrefix) == 0;
}

bool isShortOption(const std::string& argument) {
  return argument.size() == 2 && argument[0] == '-' && argument[1] != '-';
}

std::string optionLabel(const Option& option) {
  std::string label = "  ";
  label += option.shortName != '\0' ? std::string("-") + option.shortName + ", " : std::string("    ");
  label += "--" + option.name;
  if (option.takesValue) label += " " + (option.valueName.empty() ? std::string("VALUE") : option.valueName);
  return label;
}

}  // namespace

std::string ParsedArguments::value(const std::string& name, const std::string& fallback) const {
  auto found = options_.find(name);
  if (found == options_.end() || found->second.empty()) return fallback;
  return found->second.back();
}

std::vector<std::string> ParsedArguments::values(const std::string& name) const {
  auto found = options_.find(name);
  return found == options_.end() ? std::vector<std::string>() : found->second;
}

bool parseArguments(const std::vector<Option>& options, const std::vector<std::string>& arguments,
                    ParsedArguments* parsed, std::string* error) {
  *parsed = ParsedArguments();
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || !(isLongOption(argument) || isShortOption(argument) || argument == kEndOfOptions)) {
      parsed->positionals_.push_back(argument);
      continue;
    }
    if (argument == kEndOfOptions) {
      optionsEnded = true;
      continue;
    }

    const Option* option = nullptr;
    bool hasInlineValue = false;
    std::string inlineValue;
    if (isLongOption(argument)) {
      std::string name = argument.substr(2);
      size_t equals = name.find('=');
      if (equals != std::string::npos) {
        hasInlineValue = true;
        inlineValue = name.substr(equals + 1);
        name.resize(equals);
      }
      option = findLong(options, name);
    } else {
      option = findShort(options, argument[1]);
    }
    if (option == nullptr) {
      *error = "unknown option '" + argument + "'";
      return false;
    }

    std::string shown = "--" + option->name;
    std::string value;
    if (option->takesValue) {
      if (hasInlineValue) {
        value = inlineValue;
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        *error = "option '" + shown + "' needs a value";
        return false;
      }
    } else if (hasInlineValue) {
      *error = "option '" + shown + "' takes no value";
      return false;
    }

    std::vector<std::string>& given = parsed->options_[option->name];
    if (!given.empty() && !option->repeatable) {
      *error = "option '" + shown + "' given more than once";
      return false;
    }
    given.push_back(value);
  }
  for (const Option& option : options) {
    if (option.required && !parsed->has(option.name)) {
      *error = "missing option '--" + option.name + "'";
      return false;
    }
  }
  return true;
}

std::string formatOptionsHelp(const std::vector<Option>& options) {
  if (options.empty()) return std::string();
  size_t column = kMinHelpColumn;
  for (const Option& option : options) column = std::max(column, optionLabel(option).size() + 2);

  std::string text = "options:\n";
  for (const Option& option : options) {
    std::string line = optionLabel(option);
    line.append(column - line.size(), ' ');
    line += option.help;
    if (option.required) line += " (required)";
    if (option.repeatable) line += " (may be repeated)";
    text += line + "\n";
  }
  return text;
}

}  // namespace cli
