// qelt-patch: the patch program players run. It carries its patch package
// at the end of its own file.
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "axp/common/patch_container.h"
#include "frontend/container_start.h"
#include "frontend/patch_program.h"
#include "frontend/program_options.h"
#include "frontend/terminal_host.h"
#include "frontend/unattended_host.h"
#include "host/process.h"
#include "host/terminal.h"
#include "platform/system.h"

namespace {

const char kProgramName[] = "qelt-patch";
constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

bool onTerminal() { return host::isTerminal(kStandardInput) && host::isTerminal(kStandardOutput); }

int usageError(const std::string& error) {
  std::cerr << kProgramName << ": error: " << error << "\nTry '" << kProgramName
            << " --help' for more information.\n";
  return qelt::kExitUsage;
}

// The program's version, and the range of the patch it carries when it
// carries one.
void showVersion(const qelt::PatchSettings& settings) {
  std::cout << kProgramName << " " << QELT_PROGRAM_VERSION << "\n";
  AXP::ContainerReader container;
  if (container.open(settings.programPath, settings.containerStart)) {
    std::cout << "patch for versions " << container.fromVersion() << " to " << container.toVersion() << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  qelt::ProgramOptions options;
  std::string error;
  if (!qelt::parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    return usageError(error);
  }
  if (options.showHelp) {
    std::cout << qelt::programHelp();
    return qelt::kExitUpdated;
  }
  qelt::PatchSettings settings{host::executablePath(), qelt::embeddedContainerStart(), platform::tempFolder(),
                               options.clientProgram};
  if (options.showVersion) {
    showVersion(settings);
    return qelt::kExitUpdated;
  }
  const bool unattended = options.unattended || !onTerminal();
  if (!unattended && !options.logFile.empty()) return usageError("--log writes the log of unattended runs");
  if (unattended) {
    std::unique_ptr<std::ofstream> log;
    if (!options.logFile.empty()) {
      log = std::make_unique<std::ofstream>(options.logFile, std::ios::binary | std::ios::trunc);
      if (!*log) return usageError("cannot write the log file " + options.logFile);
    }
    qelt::UnattendedHost host(&std::cout, options.installDirs, log.get());
    qelt::PatchProgram program(settings, &host);
    const bool updated = program.run();
    return qelt::exitStatusFor(updated, program.failure());
  }
  // The dialog program ends with 0 however the player closed it.
  qelt::TerminalHost host(&std::cout);
  qelt::PatchProgram(settings, &host).run();
  return qelt::kExitUpdated;
}
