#include "frontend/patch_worker.h"

#include <optional>
#include <string>

#include "axp/common/error_record.h"
#include "axp/common/version_key.h"
#include "axp/updater/updater.h"
#include "frontend/apply_progress.h"
#include "frontend/client_check.h"
#include "frontend/embedded_container.h"
#include "frontend/patch_texts.h"
#include "frontend/text_format.h"
#include "platform/file.h"
#include "platform/path.h"

namespace qelt {
namespace {

const char kContainerFailed[] = "读取升级资源失败，请重新下载!";
const char kNoInstallation[] = "无法找到《溪云归棹》安装目录!";
const char kBelowRangeFormat[] = "该补丁支持%s以上的版本,本地版本为%s";
const char kAboveRangeFormat[] = "该补丁支持%s以下的版本,本地版本为%s";
const char kPackageBroken[] = "升级包资源错误";
const char kReadyToStart[] = "准备开始升级";
const char kCaptionFormat[] = "《溪云归棹》升级补丁[%s-%s]";
const char kApplyFailedFormat[] = "更新错误(code=%d,%s)";
const char kFinished[] = "更新结束";
const char kFiledPackagesFolder[] = "Patch";

void fail(DialogLink* link, const std::string& status, PatchFailure failure) {
  link->setStatus(status);
  link->reportFailure(failure);
}

// Moves the used package into the installation's "Patch" folder, replacing
// an earlier copy. Without that folder (or with a link in its place) the
// package stays where it is.
void filePackage(const PatchState& state) {
  const std::string::size_type nameStart = platform::findFileName(state.packagePath);
  const std::string name = state.packagePath.substr(nameStart);
  platform::moveFileBelow(state.packagePath.substr(0, nameStart), name, state.installDir,
                          platform::pathAppend(kFiledPackagesFolder, name));
}

bool applyPackage(AXP::IUpdater* updater, PatchState* state, DialogLink* link) {
  state->progressCounter = 0;
  return updater->apply(state->installDir.c_str(), [state, link](const char* pack, const char* name, int32_t kind) {
    reportApplyProgress(state, link, pack, name, kind);
  });
}

}  // namespace

void reportApplyProgress(PatchState* state, DialogLink* link, const char* /*pack*/, const char* name,
                         int32_t kind) {
  int percent = progressPercent(state->progressCounter, state->operationCount);
  ++state->progressCounter;
  link->setStatus(progressText(kind, name));
  link->reportProgress(percent);
}

UpdateResult runUpdate(PatchState* state, const WorkerContext& context, DialogLink* link) {
  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (!updater || !updater->openPackage(state->packagePath.c_str())) {
    link->setStatus(kPackageBroken);
    return UpdateResult::PackageBroken;
  }
  state->operationCount = static_cast<uint32_t>(updater->getOperationCount());
  link->setStatus(kReadyToStart);
  link->setCaption(formatText(kCaptionFormat, state->fromVersion.c_str(), state->toVersion.c_str()));
  link->reportProgress(0);
  link->enableStart();
  if (!context.start->wait()) return UpdateResult::Abandoned;
  if (isClientRunning(link, context.settings->clientProgram, true)) {
    link->setStatus(kClientRunningText);
    return UpdateResult::GameRunning;
  }
  if (!applyPackage(updater.get(), state, link)) {
    link->setStatus(formatText(kApplyFailedFormat, AXP::getLastErrorCode(), AXP::getLastErrorMessage()));
    return UpdateResult::ApplyFailed;
  }
  // The updater holds the package open until it is released.
  updater.reset();
  filePackage(*state);
  return UpdateResult::Applied;
}

void patchWorker(const WorkerContext& context) {
  DialogLink link(context.channel);
  PatchState state;
  std::optional<std::string> notes;
  if (!readEmbeddedContainer(*context.settings, &state, &notes)) {
    return fail(&link, kContainerFailed, PatchFailure::DamagedPackage);
  }
  if (notes) link.setNotes(*notes);
  if (!context.finder->findInstallation(&state, &link)) {
    return fail(&link, kNoInstallation, PatchFailure::InstallationNotFound);
  }
  link.showInstallation(state.installDir, state.localVersion);
  switch (AXP::placeInRange(state.localKey, state.fromKey, state.toKey)) {
    case AXP::RangePlace::Below:
      return fail(&link, formatText(kBelowRangeFormat, state.fromVersion.c_str(), state.localVersion.c_str()),
                  PatchFailure::VersionOutOfRange);
    case AXP::RangePlace::Above:
      return fail(&link, formatText(kAboveRangeFormat, state.toVersion.c_str(), state.localVersion.c_str()),
                  PatchFailure::VersionOutOfRange);
    case AXP::RangePlace::Inside:
      break;
  }
  switch (runUpdate(&state, context, &link)) {
    case UpdateResult::PackageBroken:
      return link.reportFailure(PatchFailure::DamagedPackage);
    case UpdateResult::GameRunning:
      return link.reportFailure(PatchFailure::GameRunning);
    case UpdateResult::ApplyFailed:
      return link.reportFailure(PatchFailure::ApplyFailed);
    case UpdateResult::Abandoned:
      return;
    case UpdateResult::Applied:
      link.setStatus(kFinished);
      link.reportDone(state.toVersion, state.installDir);
      return;
  }
}

}  // namespace qelt
