// "axp exe": self-contained patch programs, the form in which a patch
// reaches the players: the patch program with its version range and sealed
// package appended.
//
//   axp exe [--stub PROGRAM] [--from V1] [--to V2] PACKAGE -o OUT
#include <string>

#include "axp/common/error_record.h"
#include "axp/common/patch_container.h"
#include "axp/common/version_key.h"
#include "axp/updater/updater.h"
#include "cli/command_table.h"
#include "cli/error_report.h"
#include "command_groups.h"
#include "host/process.h"
#include "plain_errors.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "standard_output.h"
#include "version_guard.h"

namespace axptool {
namespace {

const char kFrom[] = "from";
const char kTo[] = "to";
const char kOutput[] = "output";
const char kStub[] = "stub";
// The patch program built for shipping, installed beside axp.
const char kDefaultStubName[] = AXP_DEFAULT_STUB;
const char kNoStub[] = "File=%s(no such file)";
const char kRangeContradicts[] = "range=%s-%s, package range=%s-%s";
const char kNoRange[] = "(range) in %s";

// The shipping patch program beside this tool; just its name when the
// tool's own path is unknown.
std::string defaultStub() {
  std::string folder = host::executablePath();
  if (!platform::removeFileSpec(&folder)) return kDefaultStubName;
  return platform::pathAppend(folder, kDefaultStubName);
}

bool sameVersion(const std::string& a, const std::string& b) {
  return AXP::compareVersionKeys(AXP::normalizeVersion(a), AXP::normalizeVersion(b)) == 0;
}

// The range comes from the package unless given; a range given that
// differs from the recorded one would let the patch program accept
// installations the package was not made for, or refuse the one it was.
bool chooseRange(const cli::ParsedArguments& arguments, const std::string& package, AXP::VersionRange* range) {
  AXP::UpdaterHandle updater = AXP::makeUpdater();
  if (!updater) return false;
  PackageVersions versions;
  if (!updater->openPackage(package.c_str())) return explainPackageFailure(package);
  if (!readPackageVersions(updater.get(), package, &versions)) return false;
  const bool given = arguments.has(kFrom) && arguments.has(kTo);
  if (!versions.range) {
    if (given) {
      *range = AXP::VersionRange{arguments.value(kFrom), arguments.value(kTo)};
      return true;
    }
    AXP::reportError(AXP::NotFound, kNoRange, package.c_str());
    return cli::explain(package + " records no version range; give it with --from and --to");
  }
  *range = *versions.range;
  const std::string from = arguments.value(kFrom, range->from);
  const std::string to = arguments.value(kTo, range->to);
  if (sameVersion(from, range->from) && sameVersion(to, range->to)) return true;
  AXP::reportError(AXP::BadArgument, kRangeContradicts, from.c_str(), to.c_str(), range->from.c_str(),
                   range->to.c_str());
  return cli::explain(package + " was made for version " + range->from + " to " + range->to +
                      ", not for the range given with --from and --to; leave them out");
}

bool makeProgram(const cli::ParsedArguments& arguments) {
  const std::string& package = arguments.positionals()[0];
  const std::string out = arguments.value(kOutput);
  const std::string stub = arguments.value(kStub, defaultStub());
  if (!platform::pathExists(stub)) {
    AXP::reportError(AXP::NotFound, kNoStub, stub.c_str());
    return cli::explain("no patch program to copy at " + stub + "; build it (make build) or name one with --stub");
  }
  AXP::VersionRange range;
  if (!chooseRange(arguments, package, &range)) return false;
  if (!AXP::writePatchProgram(stub, range.from, range.to, package, out)) {
    return cli::explain("cannot write the patch program " + out);
  }
  return writeLine("patch program: " + out + ", " + std::to_string(platform::fileSize(out)) + " bytes, for versions " +
                   range.from + " to " + range.to);
}

}  // namespace

cli::Command exeCommand() {
  return {"exe",
          "[--stub PROGRAM] [--from V1 --to V2] PACKAGE -o OUT",
          "write the patch program that updates the versions PACKAGE was made for",
          {
              {kFrom, '\0', true, false, "V1",
               "the oldest version the patch applies to (default: the package's old version)"},
              {kTo, '\0', true, false, "V2", "the version the patch brings (default: the package's new version)"},
              {kOutput, 'o', true, false, "OUT", "the patch program to write (replaced when it exists)", true},
              {kStub, '\0', true, false, "PROGRAM",
               "the patch program to copy (default: qelt-patch-stub beside axp, built for shipping)"},
          },
          1,
          1,
          makeProgram};
}

}  // namespace axptool
