// The window tests' eyes and the stand-in game client, run under the same
// Wine as the patch program:
//   window_probe dump           every dialog on the screen and its controls
//   window_probe client         a window of the game client's class, open
//                               until it is closed
//   window_probe find-client    succeeds while that window is open
//   window_probe close-client   closes that window
// Dumps are UTF-8 lines, one per window and one per control:
//   dialog HANDLE "TITLE" X Y W H
//   control ID CLASS enabled|disabled X Y W H "TEXT" [position N]
// (X Y: the top left corner on the screen; line breaks of TEXT as "\n").
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "platform/system.h"
#include "support/stand_in_client.h"

namespace {

const char kDialogClass[] = "#32770";
constexpr int kPollMilliseconds = 50;
constexpr UINT kAnswerMilliseconds = 2000;

std::string utf8(const wchar_t* text) {
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string converted(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), bytes, nullptr, nullptr);
  converted.pop_back();
  return converted;
}

// Asked with WM_GETTEXT, which reaches another process's controls (an
// edit box keeps its text apart from its window name); line breaks as "\n".
std::string windowText(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, kAnswerMilliseconds, &copied);
  std::string line;
  for (const char c : utf8(text)) {
    if (c == '\r') continue;
    line += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return line;
}

BOOL CALLBACK dumpControl(HWND control, LPARAM) {
  char className[64] = {};
  ::GetClassNameA(control, className, sizeof className);
  RECT box{};
  ::GetWindowRect(control, &box);
  std::printf("control %d %s %s %ld %ld %ld %ld \"%s\"", ::GetDlgCtrlID(control), className,
              ::IsWindowEnabled(control) ? "enabled" : "disabled", box.left, box.top, box.right - box.left,
              box.bottom - box.top, windowText(control).c_str());
  if (::lstrcmpiA(className, PROGRESS_CLASSA) == 0) {
    std::printf(" position %ld", static_cast<long>(::SendMessageA(control, PBM_GETPOS, 0, 0)));
  }
  std::printf("\n");
  return TRUE;
}

BOOL CALLBACK dumpDialog(HWND window, LPARAM) {
  char className[64] = {};
  ::GetClassNameA(window, className, sizeof className);
  if (!::IsWindowVisible(window) || std::string(className) != kDialogClass) return TRUE;
  RECT box{};
  ::GetWindowRect(window, &box);
  std::printf("dialog %p \"%s\" %ld %ld %ld %ld\n", static_cast<void*>(window), windowText(window).c_str(),
              box.left, box.top, box.right - box.left, box.bottom - box.top);
  ::EnumChildWindows(window, dumpControl, 0);
  return TRUE;
}

HWND clientWindow() { return ::FindWindowA(testing_support::kClientWindowClass, nullptr); }

int openClient() {
  testing_support::StandInClient client("Game.exe");
  if (!client.seen()) return 1;
  while (clientWindow() != nullptr) {
    platform::sleepMilliseconds(kPollMilliseconds);
  }
  return 0;
}

int closeClient() {
  HWND client = clientWindow();
  return client != nullptr && ::PostMessageA(client, WM_CLOSE, 0, 0) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc == 2 ? argv[1] : "";
  if (command == "dump") {
    ::EnumWindows(dumpDialog, 0);
    std::fflush(stdout);
    return 0;
  }
  if (command == "client") return openClient();
  if (command == "find-client") return clientWindow() != nullptr ? 0 : 1;
  if (command == "close-client") return closeClient();
  std::fprintf(stderr, "usage: window_probe dump|client|find-client|close-client\n");
  return 2;
}
