#include "frontend/embedded_container.h"

#include <cstdint>
#include <utility>

#include "axp/common/file_util.h"
#include "axp/common/format_names.h"
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
const char kPackageCopyPrefix[] = "QELT-";
const char kPackageCopyJoin[] = "-";
const char kPackageCopyExtension[] = ".xzip";
// The notes file's name follows the work folder's path without a separator,
// so the file lies in the temporary folder itself.
const char kNotesFilePrefix[] = "QELT_patchinfo_";
const char kNotesFileJoin[] = "_";
const char kNotesFileExtension[] = ".txt";

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

// The package's "Update.txt", by way of the notes file, which is removed
// again in every case.
std::optional<std::string> readReleaseNotes(const std::string& packagePath, const std::string& notesPath) {
  std::optional<std::string> notes;
  std::string text;
  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (updater &&
      extractEntryToFile(updater.get(), packagePath, AXP::kReleaseNotesName, notesPath, AXP::kMaxReleaseNotes) &&
      platform::readWholeFile(notesPath, AXP::kMaxReleaseNotes, &text) && unpackNotes(&text)) {
    notes = std::move(text);
  }
  platform::deleteFile(notesPath);
  return notes;
}

}  // namespace

std::string workFolderPath(const std::string& tempFolder) { return platform::pathAppend(tempFolder, kWorkFolderName); }

std::string packageCopyPath(const std::string& tempFolder, const std::string& fromVersion,
                            const std::string& toVersion) {
  return platform::pathAppend(workFolderPath(tempFolder),
                              kPackageCopyPrefix + fromVersion + kPackageCopyJoin + toVersion + kPackageCopyExtension);
}

std::string notesFilePath(const std::string& tempFolder, const std::string& fromVersion, const std::string& toVersion) {
  return workFolderPath(tempFolder) + kNotesFilePrefix + fromVersion + kNotesFileJoin + toVersion + kNotesFileExtension;
}

bool readEmbeddedContainer(const PatchSettings& settings, PatchState* state, std::optional<std::string>* notes) {
  notes->reset();
  AXP::ContainerReader container;
  if (!container.open(settings.programPath, settings.containerStart)) return false;
  state->fromVersion = container.fromVersion();
  state->fromKey = AXP::normalizeVersion(state->fromVersion);
  state->toVersion = container.toVersion();
  state->toKey = AXP::normalizeVersion(state->toVersion);

  platform::createDirectory(workFolderPath(settings.tempFolder));
  state->packagePath = packageCopyPath(settings.tempFolder, state->fromVersion, state->toVersion);
  // Paths travel in 260-byte buffers; a longer one would name another file.
  if (state->packagePath.size() > AXP::kMaxPath || !container.copyPackage(state->packagePath)) return false;

  *notes =
      readReleaseNotes(state->packagePath, notesFilePath(settings.tempFolder, state->fromVersion, state->toVersion));
  return true;
}

}  // namespace qelt
