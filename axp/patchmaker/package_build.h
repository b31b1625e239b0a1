// Writing a patch package from a plan: the extras stored as they are, every
// add command's data LZMA-packed into a stored ZIP entry, in plan order,
// then the "(command)" list; the closed archive is then scrambled in place
// and sealed with its checksum trailer.
#pragma once

#include <string>

#include "axp/patchmaker/patch_maker.h"
#include "axp/patchmaker/patch_plan.h"

namespace AXP {

struct PackageOptions {
  unsigned packingThreads = 1;
  MakeProgress progress;  // may be empty
  PackageExtras extras;
};

// Writes the package of `plan` at `packagePath`, replacing any file there,
// and fills `*summary`. Failures: code 10 for an empty path; code 3 "%s"
// when the archive cannot be created; the codes of reading the sources and
// of packing; code 2 for a source that differs from its catalogue row
// (named in summary->staleSource); code 14 "XZIP=%d" when the archive
// refuses an entry or cannot be closed; the codes of scrambling and
// sealing. After a failure before sealing, the file holds the unsealed
// archive of the entries added so far.
bool buildPackage(const PatchPlan& plan, const std::string& packagePath, const PackageOptions& options,
                  PackageSummary* summary);

}  // namespace AXP
