#include "apply_preview.h"

#include <set>
#include <utility>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/apply_plan.h"
#include "cli/error_report.h"
#include "command_lines.h"
#include "plain_errors.h"
#include "platform/file.h"
#include "platform/path.h"

namespace axptool {
namespace {

const char kReplaceVerb[] = "replace";
const bool kReadOnly = true;

std::string packKey(const std::string& name) { return AXP::normalizeName(name, true, true); }

// Code 0 replaces what is there already.
std::string verbFor(int32_t op, bool targetThere) {
  return op == AXP::kOpAddOrReplace && targetThere ? kReplaceVerb : commandVerb(op);
}

class Preview {
 public:
  Preview(std::string installDir, std::vector<PreviewLine>* lines)
      : installDir_(std::move(installDir)), lines_(lines) {}

  bool loose(const AXP::PatchCommand& command) {
    if (command.op != AXP::kOpAddOrReplace && command.op != AXP::kOpDelete) {
      AXP::reportError(AXP::BadArgument, AXP::messages::kNone);
      return cli::explain("the packages hold a command of unknown kind " + std::to_string(command.op) + " for " +
                          displayName(command.name) + "; the apply would stop there");
    }
    const bool there = platform::pathExists(platform::pathAppend(installDir_, command.name));
    lines_->push_back({verbFor(command.op, there), std::string(), command.name});
    return true;
  }

  void wholePack(const AXP::PatchCommand& command) {
    (command.op == AXP::kOpDelete ? deletedPacks_ : shippedPacks_).insert(packKey(command.name));
  }

  bool packTurn(const AXP::PackTurn& turn) {
    const std::string path = platform::pathAppend(installDir_, turn.packKey);
    // A pack shipped whole is edited in its new state, which only the
    // package knows.
    const bool shipped = shippedPacks_.count(turn.packKey) != 0;
    AXP::PackFile pack;
    if (!shipped && !openPack(turn.packKey, path, &pack)) return false;
    for (const AXP::PatchCommand* command : turn.removals) {
      lines_->push_back({commandVerb(command->op), command->pack, command->name});
    }
    for (const AXP::PatchCommand* command : turn.insertions) {
      const bool there = !shipped && pack.exists(command->name.c_str());
      lines_->push_back({verbFor(command->op, there), command->pack, command->name});
    }
    return true;
  }

 private:
  bool openPack(const std::string& key, const std::string& path, AXP::PackFile* pack) {
    if (deletedPacks_.count(key) != 0 || !platform::pathExists(path)) {
      AXP::reportError(AXP::NotFound, AXP::messages::kName, path.c_str());
      return cli::explain("the packages edit the pack " + path + ", which is not there; the apply would stop there");
    }
    // Opened as the apply opens it: below the installation, through no link.
    return pack->openBelow(installDir_.c_str(), key.c_str(), kReadOnly) || explainPackFailure(path);
  }

  std::string installDir_;
  std::vector<PreviewLine>* lines_;
  std::set<std::string> shippedPacks_;
  std::set<std::string> deletedPacks_;
};

}  // namespace

bool previewApply(const AXP::Updater& updater, const std::string& installDir, bool maintainLists,
                  std::vector<PreviewLine>* lines) {
  lines->clear();
  if (!updater.checkTargets(installDir.c_str())) {
    return cli::explain("the packages name a file outside " + installDir +
                        ", one reached through a link in it, or a path too long for it");
  }
  const AXP::ApplyPlan plan = AXP::planApply(updater.commands(), maintainLists);
  Preview preview(installDir, lines);
  for (const AXP::PatchCommand* command : plan.wholePacks) {
    preview.wholePack(*command);
    if (!preview.loose(*command)) return false;
  }
  for (const AXP::PackTurn& turn : plan.packTurns) {
    if (!preview.packTurn(turn)) return false;
  }
  for (const AXP::PatchCommand* command : plan.looseFiles) {
    if (!preview.loose(*command)) return false;
  }
  return true;
}

}  // namespace axptool
