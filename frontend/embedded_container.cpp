#include "frontend/embedded_container.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <utility>

#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
#include "axp/common/package_seal.h"
#include "axp/common/patch_container.h"
#include "axp/common/version_key.h"
#include "axp/updater/lzma_entry.h"
#include "axp/updater/updater.h"
#include "frontend/entry_extract.h"
#include "platform/file.h"
#include "platform/path.h"

namespace qelt {
namespace {

const char kWorkFolderName[] = "QELT Patch";
const char kFreshFolderJoin[] = "-";
const char kPackageCopyPrefix[] = "QELT-";
const char kPackageCopyJoin[] = "-";
const char kPackageCopyExtension[] = ".xzip";
// Fresh work folders tried when the usual one is not the user's own.
constexpr int kFreshFolderAttempts = 16;

// The builder LZMA-packs every entry it writes, the notes among them; shown
// as they lie in the archive they would be the packed bytes.
bool unpackNotes(std::string* text) {
  const auto size = static_cast<uint32_t>(text->size());
  if (!AXP::isLzmaEntry(text->data(), size)) return true;
  const uint8_t* data = nullptr;
  uint32_t unpacked = 0;
  if (!AXP::unpackLzma(text->data(), size, &data, &unpacked) || unpacked > AXP::kMaxReleaseNotes) return false;
  text->assign(reinterpret_cast<const char*>(data), unpacked);
  return true;
}

// The package's "Update.txt", read in memory: no file of a name others
// could foresee is made for it.
std::optional<std::string> readReleaseNotes(const std::string& packagePath) {
  std::string text;
  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (updater && readEntry(updater.get(), packagePath, AXP::kReleaseNotesName, AXP::kMaxReleaseNotes, &text) &&
      unpackNotes(&text)) {
    return text;
  }
  return std::nullopt;
}

std::string workFolderPath(const std::string& tempFolder) { return platform::pathAppend(tempFolder, kWorkFolderName); }

// The work folder must be the user's own: one that another user made
// first, or that others may write to, is passed over for a fresh one
// beside it, so that nobody can plant a link where the package copy is
// written, or swap the copy between its check and its use.
bool makeWorkFolder(const std::string& tempFolder, std::string* folder) {
  const std::string usual = workFolderPath(tempFolder);
  if (platform::makePrivateFolder(usual)) {
    *folder = usual;
    return true;
  }
  std::random_device random;
  for (int attempt = 0; attempt < kFreshFolderAttempts; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08X", static_cast<unsigned>(random()));
    const std::string fresh = usual + kFreshFolderJoin + suffix;
    if (platform::makePrivateFolder(fresh)) {
      *folder = fresh;
      return true;
    }
  }
  return false;
}

}  // namespace

bool readEmbeddedContainer(const PatchSettings& settings, PatchState* state, std::optional<std::string>* notes) {
  notes->reset();
  AXP::ContainerReader container;
  if (!container.open(settings.programPath, settings.containerStart)) return false;
  state->fromVersion = container.fromVersion();
  state->fromKey = AXP::normalizeVersion(state->fromVersion);
  state->toVersion = container.toVersion();
  state->toKey = AXP::normalizeVersion(state->toVersion);

  std::string workFolder;
  if (!makeWorkFolder(settings.tempFolder, &workFolder)) return false;
  state->packagePath = platform::pathAppend(
      workFolder, kPackageCopyPrefix + state->fromVersion + kPackageCopyJoin + state->toVersion + kPackageCopyExtension);
  // Paths travel in 260-byte buffers; a longer one would name another file.
  if (state->packagePath.size() > AXP::kMaxPath || !container.copyPackage(state->packagePath)) return false;
  // Every byte of the package is checked against its trailer before
  // anything uses it: a damaged download is refused before Start, and
  // before anything is touched unattended. Its copy goes, so that a refused
  // package leaves nothing behind in the temporary folder.
  if (!AXP::checkPackageSeal(state->packagePath, true)) {
    platform::deleteFile(state->packagePath);
    return false;
  }
  *notes = readReleaseNotes(state->packagePath);
  return true;
}

}  // namespace qelt
