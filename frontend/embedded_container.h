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
// folder (or a fresh "QELT Patch-XXXXXXXX" beside it when that one is not
// the user's own). The copy must carry its checksum trailer and match it:
// a damaged package fails here, before anything uses it. `*notes` receives
// the text of the package's "Update.txt" when it could be read, and is left
// empty otherwise; the notes never make the reading fail. False when the
// range cannot be read, the package cannot be copied whole or its trailer
// does not match.
bool readEmbeddedContainer(const PatchSettings& settings, PatchState* state, std::optional<std::string>* notes);

}  // namespace qelt
