// The console behind a descriptor, and its key mode. In key mode the
// console takes single keys without echo and shows UTF-8 text and the
// escape sequences of a terminal; its modes and code page from before come
// back through endKeyMode, at exit, and when a console event (Ctrl-C,
// Ctrl-Break, the window closing) ends the program. Key events become the
// bytes a terminal would send, so the program reads keys the same way on
// every system.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "host/terminal.h"
#include "platform/system.h"

namespace host {
namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;
constexpr DWORD kKeyModeDropped = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
constexpr DWORD kKeyModeAdded = ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT;
constexpr DWORD kRecordsPerRead = 32;
// How often a pipe is looked at while waiting for its bytes.
constexpr DWORD kPipePollMilliseconds = 10;

struct KeySequence {
  WORD virtualKey;
  const char* bytes;
};
constexpr KeySequence kKeySequences[] = {
    {VK_UP, "\x1b[A"},    {VK_DOWN, "\x1b[B"}, {VK_PRIOR, "\x1b[5~"},
    {VK_NEXT, "\x1b[6~"}, {VK_HOME, "\x1b[H"}, {VK_END, "\x1b[F"},
};

struct KeyMode {
  HANDLE input = INVALID_HANDLE_VALUE;
  HANDLE output = INVALID_HANDLE_VALUE;
  DWORD foundInput = 0;
  DWORD foundOutput = 0;
  UINT foundCodePage = 0;
  bool outputIsConsole = false;
  std::atomic<bool> active{false};
  std::atomic<bool> lineEditing{false};
  bool prepared = false;
};
KeyMode gKeyMode;
std::atomic<bool> gResized{false};

HANDLE handleOf(int descriptor) {
  if (descriptor < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
}

bool fail() {
  platform::setLastSystemError(static_cast<int>(::GetLastError()));
  return false;
}

DWORD keyInputMode() { return (gKeyMode.foundInput & ~kKeyModeDropped) | kKeyModeAdded; }

void giveBackMode() {
  if (!gKeyMode.active) return;
  ::SetConsoleMode(gKeyMode.input, gKeyMode.foundInput);
  if (gKeyMode.outputIsConsole) {
    ::SetConsoleMode(gKeyMode.output, gKeyMode.foundOutput);
    ::SetConsoleOutputCP(gKeyMode.foundCodePage);
  }
}

void giveBackModeAtExit() { giveBackMode(); }

// Runs on a thread of its own; the next handler, the system's, then ends
// the program.
BOOL WINAPI onConsoleEvent(DWORD /*event*/) {
  giveBackMode();
  return FALSE;
}

bool consoleSize(int descriptor, CONSOLE_SCREEN_BUFFER_INFO* info) {
  return ::GetConsoleScreenBufferInfo(handleOf(descriptor), info) || fail();
}

void appendUtf8(wchar_t character, std::string* bytes) {
  char encoded[8];
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, &character, 1, encoded, sizeof encoded, nullptr, nullptr);
  if (length > 0) bytes->append(encoded, static_cast<size_t>(length));
}

// The bytes a terminal sends for one key event.
void appendKey(const KEY_EVENT_RECORD& key, std::string* bytes) {
  if (!key.bKeyDown) return;
  for (WORD i = 0; i < key.wRepeatCount; ++i) {
    bool known = false;
    for (const KeySequence& sequence : kKeySequences) {
      if (sequence.virtualKey == key.wVirtualKeyCode) {
        *bytes += sequence.bytes;
        known = true;
      }
    }
    if (!known && key.uChar.UnicodeChar != 0) appendUtf8(key.uChar.UnicodeChar, bytes);
  }
}

// Reads what the console holds now: keys as bytes, size changes noted.
int readConsoleKeys(HANDLE input, char* buffer, size_t capacity) {
  INPUT_RECORD records[kRecordsPerRead];
  DWORD count = 0;
  if (!::ReadConsoleInputW(input, records, kRecordsPerRead, &count)) {
    fail();
    return -1;
  }
  std::string bytes;
  for (DWORD i = 0; i < count; ++i) {
    if (records[i].EventType == KEY_EVENT) appendKey(records[i].Event.KeyEvent, &bytes);
    if (records[i].EventType == WINDOW_BUFFER_SIZE_EVENT) gResized = true;
  }
  // More than a read's worth of keys at once is typing too fast to matter.
  const size_t kept = bytes.size() < capacity ? bytes.size() : capacity;
  bytes.copy(buffer, kept);
  return static_cast<int>(kept);
}

int readConsole(HANDLE input, char* buffer, size_t capacity, int timeoutMilliseconds) {
  const DWORD wait = timeoutMilliseconds < 0 ? INFINITE : static_cast<DWORD>(timeoutMilliseconds);
  if (::WaitForSingleObject(input, wait) != WAIT_OBJECT_0) return 0;
  if (!gKeyMode.lineEditing) return readConsoleKeys(input, buffer, capacity);
  DWORD got = 0;
  if (!::ReadConsoleA(input, buffer, static_cast<DWORD>(capacity), &got, nullptr)) {
    fail();
    return -1;
  }
  return static_cast<int>(got);
}

// A pipe or a file: pipes are waited for by looking at them now and then.
int readOther(HANDLE input, char* buffer, size_t capacity, int timeoutMilliseconds) {
  if (::GetFileType(input) == FILE_TYPE_PIPE) {
    for (DWORD waited = 0;; waited += kPipePollMilliseconds) {
      DWORD available = 0;
      if (!::PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) break;  // closed: read says so
      if (available > 0) break;
      if (timeoutMilliseconds >= 0 && waited >= static_cast<DWORD>(timeoutMilliseconds)) return 0;
      ::Sleep(kPipePollMilliseconds);
    }
  }
  DWORD got = 0;
  if (!::ReadFile(input, buffer, static_cast<DWORD>(capacity), &got, nullptr)) {
    if (::GetLastError() != ERROR_BROKEN_PIPE) fail();
    return -1;
  }
  return got > 0 ? static_cast<int>(got) : -1;
}

}  // namespace

bool isTerminal(int descriptor) {
  DWORD mode = 0;
  return ::GetConsoleMode(handleOf(descriptor), &mode) || fail();
}

int terminalColumns(int descriptor) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!consoleSize(descriptor, &info)) return kDefaultColumns;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? columns : kDefaultColumns;
}

int terminalRows(int descriptor) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!consoleSize(descriptor, &info)) return kDefaultRows;
  const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  return rows > 0 ? rows : kDefaultRows;
}

bool beginKeyMode(int descriptor) {
  if (gKeyMode.active) return true;
  HANDLE input = handleOf(descriptor);
  DWORD found = 0;
  if (!::GetConsoleMode(input, &found)) return fail();
  gKeyMode.input = input;
  gKeyMode.foundInput = found;
  gKeyMode.output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  gKeyMode.outputIsConsole = ::GetConsoleMode(gKeyMode.output, &gKeyMode.foundOutput) != 0;
  gKeyMode.foundCodePage = ::GetConsoleOutputCP();
  gKeyMode.lineEditing = false;
  if (!gKeyMode.prepared) {
    gKeyMode.prepared = true;
    std::atexit(giveBackModeAtExit);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  }
  if (!::SetConsoleMode(input, keyInputMode())) return fail();
  if (gKeyMode.outputIsConsole) {
    ::SetConsoleMode(gKeyMode.output,
                     gKeyMode.foundOutput | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    ::SetConsoleOutputCP(CP_UTF8);
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
  ::SetConsoleMode(gKeyMode.input, on ? gKeyMode.foundInput | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT
                                      : keyInputMode());
}

int readInput(int descriptor, char* buffer, size_t capacity, int timeoutMilliseconds) {
  HANDLE input = handleOf(descriptor);
  DWORD mode = 0;
  if (::GetConsoleMode(input, &mode)) return readConsole(input, buffer, capacity, timeoutMilliseconds);
  return readOther(input, buffer, capacity, timeoutMilliseconds);
}

bool takeTerminalResized() { return gResized.exchange(false); }

// With a null handler, TRUE makes the process ignore Ctrl-C and FALSE
// gives it back its ordinary meaning.
void holdInterrupts(bool hold) { ::SetConsoleCtrlHandler(nullptr, hold ? TRUE : FALSE); }

}  // namespace host
