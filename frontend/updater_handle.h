// An updater owned for one scope and released through the library's own
// release function.
#pragma once

#include <memory>

#include "axp/updater/updater.h"

namespace qelt {

struct UpdaterRelease {
  void operator()(AXP::IUpdater* updater) const { AXP::destroyUpdater(updater); }
};
using UpdaterHandle = std::unique_ptr<AXP::IUpdater, UpdaterRelease>;

inline UpdaterHandle makeUpdater() { return UpdaterHandle(AXP::createUpdater()); }

}  // namespace qelt
