// qelt-patch: the patch program players run. It carries its patch package
// at the end of its own file.
#include <iostream>
#include <string>
#include <vector>

#include "frontend/container_start.h"
#include "frontend/patch_program.h"
#include "frontend/program_options.h"
#include "frontend/terminal_host.h"
#include "frontend/unattended_host.h"
#include "host/process.h"
#include "host/terminal.h"
#include "platform/system.h"
#ifdef _WIN32
#include "frontend/window/window_host.h"
#endif

namespace {

const char kProgramName[] = "qelt-patch";
constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

bool onTerminal() { return host::isTerminal(kStandardInput) && host::isTerminal(kStandardOutput); }

}  // namespace

int main(int argc, char** argv) {
  qelt::ProgramOptions options;
  std::string error;
  if (!qelt::parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::cerr << kProgramName << ": " << error << "\nTry '" << kProgramName << " --help' for more information.\n";
    return kExitUsage;
  }
  if (options.showHelp) {
    std::cout << qelt::programHelp();
    return kExitSuccess;
  }
  qelt::PatchSettings settings{host::executablePath(), qelt::embeddedContainerStart(), platform::tempFolder(),
                               options.clientProgram};
#ifdef _WIN32
  // Players start the program without arguments, and get its window.
  if (argc == 1) {
    qelt::WindowHost window;
    return window.run([&] { qelt::PatchProgram(settings, &window).run(); }) ? kExitSuccess : kExitFailure;
  }
#endif
  if (options.unattended || !onTerminal()) {
    qelt::UnattendedHost host(&std::cout, options.installDirs);
    return qelt::PatchProgram(settings, &host).run() ? kExitSuccess : kExitFailure;
  }
  // The dialog program ends with 0 however the player closed it.
  qelt::TerminalHost host(&std::cout);
  qelt::PatchProgram(settings, &host).run();
  return kExitSuccess;
}
