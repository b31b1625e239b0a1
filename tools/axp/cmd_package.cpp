// "axp package": seal a plain archive into a patch package (scrambled, with
// its checksum trailer), give the plain archive back, and check or print the
// checksum.
#include <cstdint>
#include <cstdio>
#include <string>

#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "cli/error_report.h"
#include "command_groups.h"
#include "platform/file.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kSkipTrailer[] = "skip-trailer";
const char kAlreadyScrambled[] = "File=%s(already scrambled)";
const char kTooSmall[] = "File=%s(too small)";
const char kTrailerMismatch[] = "File=%s(checksum trailer mismatch)";

const std::string& fileArgument(const cli::ParsedArguments& arguments) { return arguments.positionals()[0]; }

// True when the file ends with a checksum trailer that matches the bytes
// before it. checkChecksumTrailer reports failures to open or read the file
// but answers a mismatch (or a file too short for a trailer) with a bare
// false; the reason is reported here then.
bool sealHolds(const std::string& path) {
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

bool seal(const cli::ParsedArguments& arguments) {
  const std::string& path = fileArgument(arguments);
  // Scrambling a package a second time would descramble it and seal the
  // plain bytes; a file that already reads as a scrambled archive is left
  // alone.
  if (AXP::isScrambledZip(path)) {
    AXP::reportError(AXP::BadArgument, kAlreadyScrambled, path.c_str());
    return false;
  }
  if (!AXP::toggleScrambling(path, false)) return false;
  if (AXP::appendChecksumTrailer(path)) return true;
  // Without its trailer the scrambled file is of no use: give the plain
  // bytes back, and report why sealing failed rather than any failure of
  // the way back.
  cli::ErrorSnapshot failure;
  AXP::toggleScrambling(path, false);
  failure.restore();
  return false;
}

bool unseal(const cli::ParsedArguments& arguments) {
  const std::string& path = fileArgument(arguments);
  return sealHolds(path) && AXP::toggleScrambling(path, true);
}

bool verify(const cli::ParsedArguments& arguments) {
  return sealHolds(fileArgument(arguments)) && printOk();
}

bool crc(const cli::ParsedArguments& arguments) {
  uint32_t checksum = 0;
  if (!AXP::crcFile(fileArgument(arguments), &checksum, arguments.has(kSkipTrailer))) return false;
  char text[16];
  std::snprintf(text, sizeof text, "%08X", checksum);
  return writeLine(text) && flushOut();
}

}  // namespace

cli::CommandGroup packageCommands() {
  return {"package",
          "patch packages: scrambled ZIP archives sealed with a checksum trailer",
          {
              {"seal", "FILE", "scramble a plain archive in place and append the checksum trailer", {}, 1, 1, seal},
              {"unseal", "FILE", "check the trailer, then descramble in place without it", {}, 1, 1, unseal},
              {"verify", "FILE", "print \"ok\" when the checksum trailer matches the bytes before it", {}, 1, 1,
               verify},
              {"crc",
               "FILE [--skip-trailer]",
               "print the checksum of a file as 8 upper-case hex digits",
               {{kSkipTrailer, '\0', false, false, "", "leave out the file's last 4 bytes (its trailer)"}},
               1,
               1,
               crc},
          }};
}

}  // namespace axptool
