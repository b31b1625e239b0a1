// Starting a program detached from the caller.
//
// The program is started through an intermediate child that forks it and
// exits at once: the caller waits only for that short-lived child, and the
// program itself is adopted by init, so it never lingers as a zombie and no
// SIGCHLD disposition of the caller has to change. A close-on-exec pipe
// carries the error number back when the program cannot be started; it
// closes without a word when exec succeeds.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "host/process.h"
#include "platform/path.h"
#include "platform/system.h"

namespace host {
namespace {

bool fail(int error) {
  platform::setLastSystemError(error);
  return false;
}

// Everything the children need, prepared before fork: after fork only
// async-signal-safe calls may run.
struct Launch {
  std::string program;
  std::string folder;
  std::vector<std::string> argumentTexts;
  std::vector<char*> argv;
};

// A bare program name is looked up in $PATH by exec. A path names a file
// relative to the caller's folder, not to the folder the program starts in.
std::string programPath(const std::string& program) {
  if (program.find_first_of("/\\") == std::string::npos) return program;
  std::string resolved = platform::resolvePath(program);
  if (resolved[0] == '/') return resolved;
  std::vector<char> current(4096);
  if (::getcwd(current.data(), current.size()) == nullptr) return resolved;
  return platform::pathAppend(current.data(), resolved);
}

// Fills `launch` in place: its argv points into its own texts.
void prepare(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingFolder, Launch* launch) {
  launch->program = programPath(program);
  launch->folder = workingFolder.empty() ? std::string() : platform::resolvePath(workingFolder);
  launch->argumentTexts.push_back(launch->program);
  launch->argumentTexts.insert(launch->argumentTexts.end(), arguments.begin(), arguments.end());
  for (std::string& text : launch->argumentTexts) launch->argv.push_back(text.data());
  launch->argv.push_back(nullptr);
}

[[noreturn]] void reportAndExit(int channel, int error) {
  ssize_t ignored = ::write(channel, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

// Runs in the intermediate child.
[[noreturn]] void startDetached(const Launch& launch, int channel) {
  pid_t pid = ::fork();
  if (pid < 0) reportAndExit(channel, errno);
  if (pid > 0) ::_exit(0);
  // The program should not inherit signals the caller happened to block.
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (!launch.folder.empty() && ::chdir(launch.folder.c_str()) != 0) reportAndExit(channel, errno);
  ::execvp(launch.program.c_str(), launch.argv.data());
  reportAndExit(channel, errno);
}

bool waitForIntermediate(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    // A SIGCHLD handler of the caller may have reaped it already.
    if (errno == ECHILD) return true;
    if (errno != EINTR) return fail(errno);
  }
  return true;
}

// The error number the children sent, or 0 when the channel closed empty.
int readLaunchError(int channel) {
  int error = 0;
  ssize_t got;
  do {
    got = ::read(channel, &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

}  // namespace

bool startProcess(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& workingFolder) {
  if (program.empty()) return fail(ENOENT);
  Launch launch;
  prepare(program, arguments, workingFolder, &launch);
  int channel[2];
  if (::pipe2(channel, O_CLOEXEC) != 0) return fail(errno);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(channel[0]);
    startDetached(launch, channel[1]);
  }
  int forkError = errno;
  ::close(channel[1]);
  if (pid < 0) {
    ::close(channel[0]);
    return fail(forkError);
  }
  bool waited = waitForIntermediate(pid);
  int launchError = readLaunchError(channel[0]);
  ::close(channel[0]);
  if (launchError != 0) return fail(launchError);
  return waited;
}

}  // namespace host
