#include "frontend/embedded_container.h"

#include <cstdint>
#include <utility>

#include "axp/common/file_util.h"
#include "axp/updater/lzma_entry.h"
#include "axp/updater/updater.h"
#include "frontend/container_format.h"
#include "frontend/entry_extract.h"
#include "frontend/version_key.h"
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
const char kNotesEntry[] = "Update.txt";
constexpr uint32_t kCopyBlock = 1024;
// Seeks take signed 32-bit distances.
constexpr uint32_t kLargestContainerStart = 0x7FFFFFFF;

bool readExactly(platform::File& file, void* buffer, uint32_t length) {
  uint32_t got = 0;
  return file.read(buffer, length, &got) && got == length;
}

// One length-prefixed version text. Lengths of 32 or more are refused before
// anything is read into `*text`.
bool readVersionText(platform::File& program, std::string* text) {
  uint8_t lengthField[kVersionLengthSize];
  if (!readExactly(program, lengthField, kVersionLengthSize)) return false;
  uint32_t length = decodeLittleEndian32(lengthField);
  if (length >= kVersionLengthLimit) return false;
  std::string read(length, '\0');
  if (!readExactly(program, read.data(), length) || !isStorableVersionText(read)) return false;
  *text = read;
  return true;
}

// Copies the rest of the program file, the package, to `path`. A copy that
// could not be written whole is removed.
bool copyPackage(platform::File& program, const std::string& path) {
  platform::File copy;
  if (!copy.open(path, platform::Access::ReadWrite, platform::Disposition::CreateAlways)) return false;
  char block[kCopyBlock];
  bool copied = true;
  for (;;) {
    uint32_t got = 0;
    uint32_t written = 0;
    if (!program.read(block, kCopyBlock, &got)) {
      copied = false;
      break;
    }
    if (got == 0) break;
    if (!copy.write(block, got, &written) || written != got) {
      copied = false;
      break;
    }
  }
  if (copy.close() && copied) return true;
  platform::deleteFile(path);
  return false;
}

bool readWholeFile(const std::string& path, uint64_t maxSize, std::string* text) {
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) return false;
  int64_t size = file.size();
  if (size < 0 || static_cast<uint64_t>(size) > maxSize) return false;
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!readExactly(file, bytes.data(), static_cast<uint32_t>(size))) return false;
  *text = std::move(bytes);
  return true;
}

// The builder LZMA-packs every entry it writes, the notes among them; shown
// as they lie in the archive they would be the packed bytes.
bool unpackNotes(std::string* text) {
  const auto size = static_cast<uint32_t>(text->size());
  if (!AXP::isLzmaEntry(text->data(), size)) return true;
  const uint8_t* data = nullptr;
  uint32_t unpacked = 0;
  if (!AXP::unpackLzma(text->data(), size, &data, &unpacked) || unpacked > kMaxReleaseNotes) return false;
  text->assign(reinterpret_cast<const char*>(data), unpacked);
  return true;
}

// The package's "Update.txt", by way of the notes file, which is removed
// again in every case.
std::optional<std::string> readReleaseNotes(const std::string& packagePath, const std::string& notesPath) {
  std::optional<std::string> notes;
  std::string text;
  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (updater && extractEntryToFile(updater.get(), packagePath, kNotesEntry, notesPath, kMaxReleaseNotes) &&
      readWholeFile(notesPath, kMaxReleaseNotes, &text) && unpackNotes(&text)) {
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
  platform::File program;
  if (!program.open(settings.programPath, platform::Access::Read, platform::Disposition::ExistingOnly)) return false;
  if (settings.containerStart > kLargestContainerStart ||
      !program.seek(static_cast<int32_t>(settings.containerStart), platform::SeekFrom::Begin)) {
    return false;
  }
  if (!readVersionText(program, &state->fromVersion)) return false;
  state->fromKey = normalizeVersion(state->fromVersion);
  if (!readVersionText(program, &state->toVersion)) return false;
  state->toKey = normalizeVersion(state->toVersion);

  platform::createDirectory(workFolderPath(settings.tempFolder));
  state->packagePath = packageCopyPath(settings.tempFolder, state->fromVersion, state->toVersion);
  // Paths travel in 260-byte buffers; a longer one would name another file.
  if (state->packagePath.size() > AXP::kMaxPath || !copyPackage(program, state->packagePath)) return false;
  program.close();

  *notes =
      readReleaseNotes(state->packagePath, notesFilePath(settings.tempFolder, state->fromVersion, state->toVersion));
  return true;
}

}  // namespace qelt
