#include "package_seal_check.h"

#include <cstdint>

#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "cli/error_report.h"
#include "platform/file.h"

namespace axptool {
namespace {

const char kTooSmall[] = "File=%s(too small)";
const char kTrailerMismatch[] = "File=%s(checksum trailer mismatch)";

}  // namespace

// checkChecksumTrailer reports failures to open or read the file but
// answers a mismatch (or a file too short for a trailer) with a bare false;
// the reason is reported here then.
bool checkPackageSeal(const std::string& path) {
  cli::ErrorSnapshot before;
  if (AXP::checkChecksumTrailer(path)) return true;
  if (!before.recordChanged()) {
    if (platform::fileSize(path) < static_cast<int64_t>(AXP::kChecksumTrailerSize)) {
      AXP::reportError(AXP::BadArgument, kTooSmall, path.c_str());
    } else {
      AXP::reportError(AXP::BadData, kTrailerMismatch, path.c_str());
    }
  }
  return false;
}

}  // namespace axptool
