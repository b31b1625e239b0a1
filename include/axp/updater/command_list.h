// The "(command)" list of a patch package and the command model it is read
// into. Each line is "op|pack|name"; the pack field is empty for a loose
// file under the installation folder. Targets are keyed by their
// normalised names (lower case, "/"), so the last line for a target wins.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace AXP {

// Operation codes the builder writes; any other code is kept and counted.
constexpr int32_t kOpAddOrReplace = 0;
constexpr int32_t kOpDelete = 1;

struct PatchCommand {
  int32_t op = 0;
  std::string pack;     // pack field as written; empty for a loose file
  std::string name;     // name field as written
  std::string package;  // package path the line came from, as opened
};

// name key -> command
using CommandMap = std::map<std::string, PatchCommand>;
// pack key -> (name key -> command)
using PackCommandMap = std::map<std::string, CommandMap>;

struct CommandModel {
  CommandMap looseCommands;
  PackCommandMap packCommands;

  // Number of records: every loose and every pack command, whatever its code.
  int operationCount() const;
};

// Merges the lines of `text` (a NUL-terminated command list) into `model`,
// each record carrying `package`. Malformed lines are skipped; with
// `dropListCommands` pack commands named "(list)" are skipped too. A loose
// command whose name ends in ".axp" drops the pack edits gathered so far for
// that pack. Never fails.
void mergeCommandList(const char* text, const std::string& package, bool dropListCommands,
                      CommandModel* model);

// The package entry that holds the data of an add-or-replace command: the
// name, or pack and name joined, with "\" turned into "/" (case kept).
// A join longer than kMaxPath fails with code 10.
bool packageEntryName(const PatchCommand& command, std::string* entryName);

// True when `name` ends in ".axp" (any case): a loose command on it
// replaces or deletes a whole pack.
bool isPackName(const std::string& name);

// True when `name` is "(list)" (any case): a pack's own table of contents.
bool isListName(const std::string& name);

}  // namespace AXP
