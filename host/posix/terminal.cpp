// The terminal behind a descriptor, and its key mode. The mode found is
// given back from signal handlers too, which may run on any thread: what
// they touch is set up before they are installed, and the flags they read
// or set are lock-free atomics.
#include "host/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/system.h"

namespace host {
namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

struct KeyMode {
  int descriptor = -1;
  termios found{};  // the mode before key mode
  termios keys{};
  std::atomic<bool> active{false};
  std::atomic<bool> lineEditing{false};
  // Written by the handlers when the size changes, so that a thread
  // waiting for input wakes up.
  int wakeRead = -1;
  int wakeWrite = -1;
  bool prepared = false;
};
KeyMode gKeyMode;
std::atomic<bool> gResized{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handlers need lock-free flags");

void applyMode(const termios& mode) { ::tcsetattr(gKeyMode.descriptor, TCSANOW, &mode); }

void giveBackMode() {
  if (gKeyMode.active) applyMode(gKeyMode.found);
}

void noteResize() {
  gResized = true;
  const char byte = 0;
  if (gKeyMode.wakeWrite >= 0 && ::write(gKeyMode.wakeWrite, &byte, 1) < 0) {
    // A full pipe already wakes the reader.
  }
}

// Installs `handler` unless the signal is ignored (a program started in the
// background, or under nohup, keeps ignoring it).
void install(int signal, void (*handler)(int)) {
  struct sigaction current {};
  if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
}

// Takes the signal's default action now: ends or stops the process.
void takeDefaultAction(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  sigset_t unblocked;
  sigemptyset(&unblocked);
  sigaddset(&unblocked, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &unblocked, nullptr);
  ::raise(signal);
}

void onEndingSignal(int signal) {
  giveBackMode();
  takeDefaultAction(signal);
}

void onStop(int signal) {
  const int savedError = errno;
  giveBackMode();
  takeDefaultAction(signal);
  // Continued.
  install(SIGTSTP, onStop);
  if (gKeyMode.active && !gKeyMode.lineEditing) applyMode(gKeyMode.keys);
  noteResize();
  errno = savedError;
}

void onResize(int) {
  const int savedError = errno;
  noteResize();
  errno = savedError;
}

void giveBackModeAtExit() { giveBackMode(); }

// The terminal's size; zero when unknown.
winsize windowSize(int descriptor) {
  winsize size{};
  if (::ioctl(descriptor, TIOCGWINSZ, &size) != 0) {
    platform::setLastSystemError(errno);
    return winsize{};
  }
  return size;
}

bool prepareWakePipe() {
  int ends[2];
  if (::pipe(ends) != 0) return false;
  for (int end : ends) {
    ::fcntl(end, F_SETFD, FD_CLOEXEC);
    ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
  }
  gKeyMode.wakeRead = ends[0];
  gKeyMode.wakeWrite = ends[1];
  return true;
}

void drainWakePipe() {
  char bytes[64];
  while (::read(gKeyMode.wakeRead, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace

bool isTerminal(int descriptor) {
  if (::isatty(descriptor) == 1) return true;
  platform::setLastSystemError(errno);
  return false;
}

int terminalColumns(int descriptor) {
  const winsize size = windowSize(descriptor);
  return size.ws_col > 0 ? size.ws_col : kDefaultColumns;
}

int terminalRows(int descriptor) {
  const winsize size = windowSize(descriptor);
  return size.ws_row > 0 ? size.ws_row : kDefaultRows;
}

bool beginKeyMode(int descriptor) {
  if (gKeyMode.active) return true;
  termios found{};
  if (::tcgetattr(descriptor, &found) != 0) {
    platform::setLastSystemError(errno);
    return false;
  }
  gKeyMode.descriptor = descriptor;
  gKeyMode.found = found;
  gKeyMode.keys = found;
  gKeyMode.keys.c_lflag &= ~(ICANON | ECHO | IEXTEN);
  gKeyMode.keys.c_iflag &= ~IXON;  // Ctrl-S would freeze the screen
  gKeyMode.keys.c_cc[VMIN] = 1;
  gKeyMode.keys.c_cc[VTIME] = 0;
  gKeyMode.lineEditing = false;
  if (!gKeyMode.prepared) {
    gKeyMode.prepared = true;
    prepareWakePipe();
    std::atexit(giveBackModeAtExit);
    for (int signal : kEndingSignals) install(signal, onEndingSignal);
    install(SIGTSTP, onStop);
    install(SIGWINCH, onResize);
  }
  if (::tcsetattr(descriptor, TCSANOW, &gKeyMode.keys) != 0) {
    platform::setLastSystemError(errno);
    return false;
  }
  gKeyMode.active = true;
  return true;
}

void endKeyMode() {
  giveBackMode();
  gKeyMode.active = false;
}

void setLineEditing(bool on) {
  if (!gKeyMode.active) return;
  gKeyMode.lineEditing = on;
  applyMode(on ? gKeyMode.found : gKeyMode.keys);
}

int readInput(int descriptor, char* buffer, size_t capacity, int timeoutMilliseconds) {
  pollfd waits[2] = {{descriptor, POLLIN, 0}, {gKeyMode.wakeRead, POLLIN, 0}};
  const nfds_t count = gKeyMode.wakeRead >= 0 ? 2 : 1;
  const int ready = ::poll(waits, count, timeoutMilliseconds);
  if (ready < 0 && errno != EINTR) {
    platform::setLastSystemError(errno);
    return -1;
  }
  if (count == 2 && waits[1].revents != 0) drainWakePipe();
  if (ready <= 0 || waits[0].revents == 0) return 0;
  const ssize_t got = ::read(descriptor, buffer, capacity);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  if (got < 0) platform::setLastSystemError(errno);
  return got > 0 ? static_cast<int>(got) : -1;
}

bool takeTerminalResized() { return gResized.exchange(false); }

}  // namespace host
