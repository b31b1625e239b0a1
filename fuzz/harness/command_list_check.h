// Checks of the command-list reader on arbitrary text: the model it builds
// must not depend on the kind of line ends, must never hold a pack without
// commands, and every target the apply's target check lets through must
// lie inside the installation.
#pragma once

#include <filesystem>
#include <string>

#include "axp/updater/apply_plan.h"
#include "axp/updater/command_list.h"
#include "axp/updater/target_check.h"
#include "fuzz/harness/sandbox.h"

namespace fuzzing {
namespace command_list {

constexpr char kPackage[] = "package.xzip";
constexpr char kInstallDir[] = "/games/qelt";

inline bool sameCommand(const AXP::PatchCommand& a, const AXP::PatchCommand& b) {
  return a.op == b.op && a.pack == b.pack && a.name == b.name && a.package == b.package;
}

inline bool sameCommands(const AXP::CommandMap& a, const AXP::CommandMap& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& x, const auto& y) { return x.first == y.first && sameCommand(x.second, y.second); });
}

inline bool sameModel(const AXP::CommandModel& a, const AXP::CommandModel& b) {
  return sameCommands(a.looseCommands, b.looseCommands) &&
         std::equal(
             a.packCommands.begin(), a.packCommands.end(), b.packCommands.begin(), b.packCommands.end(),
             [](const auto& x, const auto& y) { return x.first == y.first && sameCommands(x.second, y.second); });
}

// `text` with every line feed replaced by `lineEnd`.
inline std::string withLineEnds(const std::string& text, const char* lineEnd) {
  std::string result;
  for (char c : text) {
    if (c == '\n') {
      result += lineEnd;
    } else {
      result += c;
    }
  }
  return result;
}

// Judged apart from the library's own check: `relative`, with either
// separator, joined to a folder and reduced lexically, must name something
// strictly below that folder.
inline bool liesInside(const std::string& relative) {
  std::string slashed = relative;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const std::string reduced = (std::filesystem::path("root") / ("./" + slashed)).lexically_normal().generic_string();
  return reduced.rfind("root/", 0) == 0 && reduced.size() > 5;
}

inline Finding checkTargetsOf(const AXP::CommandModel& model) {
  if (!AXP::checkTargets(kInstallDir, model)) return {};
  for (const auto& [key, command] : model.looseCommands) {
    if (!liesInside(command.name)) {
      return fail("loose target let through outside the installation: %s", command.name.c_str());
    }
  }
  for (const auto& [packKey, commands] : model.packCommands) {
    if (!liesInside(packKey)) return fail("pack let through outside the installation: %s", packKey.c_str());
  }
  return {};
}

inline Finding checkModel(const std::string& text, bool dropListCommands) {
  AXP::CommandModel model;
  AXP::mergeCommandList(text.c_str(), kPackage, dropListCommands, &model);
  for (const auto& [packKey, commands] : model.packCommands) {
    if (commands.empty()) return fail("pack %s kept without commands", packKey.c_str());
  }
  for (const char* lineEnd : {"\r\n", "\r"}) {
    AXP::CommandModel other;
    AXP::mergeCommandList(withLineEnds(text, lineEnd).c_str(), kPackage, dropListCommands, &other);
    if (!sameModel(model, other)) return fail("line ends %s change the commands read", lineEnd[1] ? "CR LF" : "CR");
  }
  const AXP::ApplyPlan plan = AXP::planApply(model, dropListCommands);
  if (plan.wholePacks.size() + plan.looseFiles.size() != model.looseCommands.size()) {
    return fail("the apply plan lost loose commands");
  }
  return checkTargetsOf(model);
}

}  // namespace command_list

// The input is the text of a "(command)" entry.
inline Finding checkCommandList(const uint8_t* data, size_t size) {
  // The extraction hands the reader a zero-terminated buffer: a zero byte
  // inside the entry ends the text there, as it does here.
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (bool dropListCommands : {false, true}) {
    Finding found = command_list::checkModel(text.c_str(), dropListCommands);
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace fuzzing
