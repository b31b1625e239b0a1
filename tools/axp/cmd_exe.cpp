// "axp exe": self-contained patch programs, the form in which a patch
// reaches the players: the patch program with its version range and sealed
// package appended.
//
//   axp exe [--stub PROGRAM] --from V1 --to V2 PACKAGE -o OUT
#include <string>

#include "axp/common/patch_container.h"
#include "cli/command_table.h"
#include "command_groups.h"
#include "host/process.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"
#include "standard_output.h"

namespace axptool {
namespace {

const char kFrom[] = "from";
const char kTo[] = "to";
const char kOutput[] = "output";
const char kStub[] = "stub";
// Installed beside axp.
const char kDefaultStubName[] = "qelt-patch";

// The patch program beside this tool; just its name when the tool's own
// path is unknown.
std::string defaultStub() {
  std::string folder = host::executablePath();
  if (!platform::removeFileSpec(&folder)) return kDefaultStubName;
  return platform::pathAppend(folder, kDefaultStubName);
}

// The three options are required by the command table; an empty version
// text is a valid one.
bool makeProgram(const cli::ParsedArguments& arguments) {
  const std::string& package = arguments.positionals()[0];
  const std::string from = arguments.value(kFrom);
  const std::string to = arguments.value(kTo);
  const std::string out = arguments.value(kOutput);
  if (!AXP::writePatchProgram(arguments.value(kStub, defaultStub()), from, to, package, out)) return false;
  return writeLine("patch program: " + out + ", " + std::to_string(platform::fileSize(out)) + " bytes, for versions " +
                   from + " to " + to);
}

}  // namespace

cli::Command exeCommand() {
  return {"exe",
          "[--stub PROGRAM] --from V1 --to V2 PACKAGE -o OUT",
          "write the patch program that updates versions V1 to V2 with PACKAGE",
          {
              {kFrom, '\0', true, false, "V1", "the oldest version the patch applies to (below 32 bytes)", true},
              {kTo, '\0', true, false, "V2", "the newest version the patch applies to (below 32 bytes)", true},
              {kOutput, 'o', true, false, "OUT", "the patch program to write (replaced when it exists)", true},
              {kStub, '\0', true, false, "PROGRAM", "the patch program to copy (default: qelt-patch beside axp)"},
          },
          1,
          1,
          makeProgram};
}

}  // namespace axptool
