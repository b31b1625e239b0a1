// Child processes of the tests on POSIX: fork, exec, and pipes (or a
// pseudo-terminal) for what the child says.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/program_run.h"

namespace testing_support {
namespace {

// The two ends of the child's standard error: a pipe, or a pseudo-terminal
// (master read by the parent, slave given to the child).
struct ErrorChannel {
  int parentEnd = -1;
  int childEnd = -1;
};

bool openPipe(ErrorChannel* channel) {
  int ends[2];
  if (pipe(ends) != 0) return false;
  *channel = {ends[0], ends[1]};
  return true;
}

bool openTerminal(int columns, ErrorChannel* channel) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) return false;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    close(master);
    return false;
  }
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    close(master);
    return false;
  }
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(slave, TIOCSWINSZ, &size);
  *channel = {master, slave};
  return true;
}

// Reads both descriptors until the child has closed them, so that neither
// can fill up and stall it. A terminal's master reports the slave's close
// as an error (EIO), which ends its reading too.
void drain(int outFd, int errFd, std::string* out, std::string* err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

ProgramResult run(const std::string& path, const std::vector<std::string>& arguments,
                  const EnvironmentChanges& environment, ErrorChannel errors) {
  ProgramResult result;
  int outPipe[2];
  if (pipe(outPipe) != 0) {
    close(errors.parentEnd);
    close(errors.childEnd);
    return result;
  }

  std::vector<char*> argv;
  std::string program = path;
  argv.push_back(program.data());
  std::vector<std::string> copies(arguments);
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = fork();
  if (child == 0) {
    int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    dup2(outPipe[1], 1);
    dup2(errors.childEnd, 2);
    close(outPipe[0]);
    close(errors.parentEnd);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errors.childEnd);
  if (child < 0) {
    close(outPipe[0]);
    close(errors.parentEnd);
    return result;
  }
  drain(outPipe[0], errors.parentEnd, &result.out, &result.err);
  int wstatus = 0;
  while (waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  return result;
}

}  // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const EnvironmentChanges& environment) {
  ErrorChannel errors;
  if (!openPipe(&errors)) return ProgramResult();
  return run(program, arguments, environment, errors);
}

ProgramResult runProgramOnTerminal(const std::string& program, const std::vector<std::string>& arguments,
                                   const EnvironmentChanges& environment, int columns) {
  ErrorChannel errors;
  if (!openTerminal(columns, &errors)) return ProgramResult();
  return run(program, arguments, environment, errors);
}

}  // namespace testing_support
