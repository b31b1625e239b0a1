// Reading the container this patch program carries: the version range, the
// package (copied to the temporary folder) and its release notes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "frontend/patch_settings.h"
#include "frontend/patch_state.h"

namespace qelt {

// Reads the range into fromVersion/toVersion and their keys and copies the
// package to packagePath, in the work folder "QELT Patch" of the temporary
// folder. `*notes` receives the text of the package's "Update.txt" when it
// could be read, and is left empty otherwise; the notes never make the
// reading fail. False when the range cannot be read or the package cannot
// be copied whole.
bool readEmbeddedContainer(const PatchSettings& settings, PatchState* state, std::optional<std::string>* notes);

// The paths of the files an attempt makes in `tempFolder` (which ends with a
// separator) for the range from-to.
std::string workFolderPath(const std::string& tempFolder);
std::string packageCopyPath(const std::string& tempFolder, const std::string& fromVersion,
                            const std::string& toVersion);
std::string notesFilePath(const std::string& tempFolder, const std::string& fromVersion, const std::string& toVersion);

}  // namespace qelt
