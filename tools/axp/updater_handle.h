// An updater that is given back through destroyUpdater however the command
// using it ends.
#pragma once

#include <memory>

#include "axp/updater/updater.h"

namespace axptool {

struct UpdaterDeleter {
  void operator()(AXP::Updater* updater) const { AXP::destroyUpdater(updater); }
};
using UpdaterHandle = std::unique_ptr<AXP::Updater, UpdaterDeleter>;

inline UpdaterHandle newUpdater() { return UpdaterHandle(AXP::createUpdater()); }

}  // namespace axptool
