#include "host/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/system.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::readFile;
using testing_support::writeFile;

constexpr int kPatienceMilliseconds = 5000;
constexpr int kPollMilliseconds = 10;

// Waits until a file that a started program writes holds `lastText`;
// returns what it holds then, empty when it does not come.
std::string awaitFile(const std::string& path, const std::string& lastText) {
  for (int waited = 0; waited < kPatienceMilliseconds; waited += kPollMilliseconds) {
    std::string bytes = readFile(path);
    if (bytes.find(lastText) != std::string::npos) return bytes;
    platform::sleepMilliseconds(kPollMilliseconds);
  }
  return {};
}

bool hasChildren() { return ::waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD; }

std::string realPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

TEST(StartProcess, RunsDetachedInItsFolder) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("game").c_str(), 0755), 0);
  ASSERT_TRUE(host::startProcess("/bin/sh", {"-c", "{ pwd -P; echo \"$1\"; echo end; } > report.txt", "sh", "first argument"},
                                     dir.path() + "\\GAME"));
  EXPECT_FALSE(hasChildren());
  EXPECT_EQ(awaitFile(dir.file("game/report.txt"), "end\n"), realPath(dir.file("game")) + "\nfirst argument\nend\n");
}

TEST(StartProcess, TheProgramStartsWithNoSignalBlocked) {
  TempDir dir;
  sigset_t blocked;
  sigset_t previous;
  ::sigemptyset(&blocked);
  ::sigaddset(&blocked, SIGUSR1);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &previous), 0);
  // cp reports its own state: the mask it was started with.
  const bool started = host::startProcess("cp", {"/proc/self/status", "status.txt"}, dir.path());
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ASSERT_TRUE(started);
  const std::string status = awaitFile(dir.file("status.txt"), "nonvoluntary_ctxt_switches");
  EXPECT_NE(status.find("\nSigBlk:\t0000000000000000\n"), std::string::npos) << status;
}

TEST(StartProcess, ReportsWhyAProgramCannotStart) {
  TempDir dir;
  EXPECT_FALSE(host::startProcess(dir.file("missing"), {}, ""));
  EXPECT_EQ(platform::lastSystemError(), ENOENT);
  writeFile(dir.file("not-executable"), "#!/bin/sh\n");
  EXPECT_FALSE(host::startProcess(dir.file("not-executable"), {}, ""));
  EXPECT_EQ(platform::lastSystemError(), EACCES);
  EXPECT_FALSE(host::startProcess("/bin/sh", {"-c", "true"}, dir.file("no-folder")));
  EXPECT_EQ(platform::lastSystemError(), ENOENT);
  EXPECT_FALSE(hasChildren());
}

TEST(IsProgramRunning, MatchesTheProgramFileOrAWindowsArgvZero) {
  EXPECT_TRUE(host::isProgramRunning("HOST_TESTS"));
  EXPECT_TRUE(host::isProgramRunning("C:\\Tests\\host_tests"));
  EXPECT_FALSE(host::isProgramRunning("no-such-program-3f1c.exe"));
  EXPECT_FALSE(host::isProgramRunning(""));

  // A program as Wine shows it: argv[0] is its Windows path.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char* argv[] = {const_cast<char*>("C:\\Games\\QELT\\Game.exe"), const_cast<char*>("30"), nullptr};
    ::execvp("sleep", argv);
    ::_exit(127);
  }
  bool seen = false;
  for (int waited = 0; !seen && waited < kPatienceMilliseconds; waited += kPollMilliseconds) {
    seen = host::isProgramRunning("game.EXE");
    if (!seen) platform::sleepMilliseconds(kPollMilliseconds);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(seen);
  EXPECT_FALSE(host::isProgramRunning("Game.exe"));
}

}  // namespace
