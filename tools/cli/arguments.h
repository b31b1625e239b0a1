// Command-line arguments of the tools: positional arguments mixed with
// --flags, --option VALUE and --option=VALUE, optionally repeated, and a
// single-letter form (-h, -o VALUE) where an option declares one. "--" ends
// the options; a lone "-" is a positional argument. Arguments stay the byte
// strings they were given as: file names inside packs are not re-encoded.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

struct Option {
  std::string name;        // long name, without the leading "--"
  char shortName = '\0';   // '\0': no single-letter form
  bool takesValue = false;
  bool repeatable = false;
  std::string valueName;   // shown in help texts, e.g. "DIR"
  std::string help;
  bool required = false;   // leaving it out is a usage error
};

class ParsedArguments {
 public:
  bool has(const std::string& name) const { return options_.count(name) != 0; }
  // The last value given for the option, `fallback` when it was not given.
  std::string value(const std::string& name, const std::string& fallback = std::string()) const;
  // Every value given for the option, in command-line order.
  std::vector<std::string> values(const std::string& name) const;
  const std::vector<std::string>& positionals() const { return positionals_; }

 private:
  friend bool parseArguments(const std::vector<Option>&, const std::vector<std::string>&,
                             ParsedArguments*, std::string*);
  std::map<std::string, std::vector<std::string>> options_;
  std::vector<std::string> positionals_;
};

// Parses `arguments` (the program name and command words already removed)
// against `options`. On a usage error (unknown option, missing or unexpected
// value, a non-repeatable option given twice, a required option left out)
// returns false with a one-line description in `*error`.
bool parseArguments(const std::vector<Option>& options, const std::vector<std::string>& arguments,
                    ParsedArguments* parsed, std::string* error);

// The "options:" block of a help text, one aligned line per option; empty
// when there are no options.
std::string formatOptionsHelp(const std::vector<Option>& options);

}  // namespace cli
