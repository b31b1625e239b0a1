#include "package_seal_check.h"

#include "axp/common/package_seal.h"

namespace axptool {

bool checkPackageSeal(const std::string& path) { return AXP::checkPackageSeal(path, true); }

}  // namespace axptool
