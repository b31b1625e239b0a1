#include "package_seal_check.h"

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"

namespace axptool {
namespace {

const char kTrailerMismatch[] = "File=%s(checksum trailer mismatch)";

}  // namespace

bool checkPackageSeal(const std::string& path) {
  AXP::TrailerState state = AXP::TrailerState::Differs;
  if (!AXP::readTrailerState(path, &state)) return false;
  switch (state) {
    case AXP::TrailerState::Matches:
      return true;
    case AXP::TrailerState::TooShort:
      AXP::reportError(AXP::BadArgument, AXP::messages::kTooSmall, path.c_str());
      return false;
    case AXP::TrailerState::Differs:
      break;
  }
  AXP::reportError(AXP::BadData, kTrailerMismatch, path.c_str());
  return false;
}

}  // namespace axptool
