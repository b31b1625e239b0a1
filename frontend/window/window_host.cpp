#include "frontend/window/window_host.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <system_error>
#include <utility>

#include "frontend/window/window_resources.h"
#include "frontend/window/window_text.h"

namespace qelt {
namespace {

// The worker's progress reaches the window as this message, with the
// percent in wParam.
constexpr UINT kProgressMessage = 2026;
// lParam: a std::function<void()> to run on the window's thread.
constexpr UINT kRunMessage = WM_APP + 1;
// The dialog logic has returned: the window closes.
constexpr UINT kEndMessage = WM_APP + 2;

constexpr COLORREF kAlertColor = RGB(255, 0, 0);
constexpr INT_PTR kNotShown = -1;

}  // namespace

bool WindowHost::run(std::function<void()> program) {
  program_ = std::move(program);
  // Started from Explorer, the program got a console window of its own
  // beside the dialog; one it shares with a command prompt stays.
  DWORD consoleProcesses[2] = {};
  if (::GetConsoleProcessList(consoleProcesses, 2) == 1) ::FreeConsole();
  // The folder picker needs COM on the window's thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  // A Unicode dialog: the template's Chinese texts reach the controls
  // whatever code page the player's system has.
  const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PATCH_DIALOG), nullptr,
                                           dialogProc, reinterpret_cast<LPARAM>(this));
  if (programThread_.joinable()) programThread_.join();
  if (SUCCEEDED(com)) ::CoUninitialize();
  return result != kNotShown;
}

INT_PTR CALLBACK WindowHost::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* host = reinterpret_cast<WindowHost*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    if (!host->initialize(window)) ::EndDialog(window, kNotShown);
    return TRUE;
  }
  auto* host = reinterpret_cast<WindowHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  return host == nullptr ? FALSE : host->handle(message, wParam, lParam);
}

bool WindowHost::initialize(HWND window) {
  window_ = window;
  centerWindow();
  HICON icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PATCH_ICON));
  ::SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ::SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  ::SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(kProgressEmpty, kProgressFull));
  try {
    programThread_ = std::thread([this] {
      program_();
      ::PostMessageA(window_, kEndMessage, 0, 0);
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

// In the middle of the screen's work area, which the taskbar leaves free.
void WindowHost::centerWindow() {
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (::GetSystemMetrics(SM_CXMAXIMIZED) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYMAXIMIZED) - height) / 2;
  ::MoveWindow(window_, x, y, width, height, TRUE);
}

INT_PTR WindowHost::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      onCommand(LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      // Handled here: the dialog's default would turn it into Cancel, which
      // after an update starts the game.
      post(DialogCommand::Close);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<INT_PTR>(statusLineColors(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case kProgressMessage:
      setProgress(static_cast<int>(wParam));
      return TRUE;
    case kRunMessage:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      return TRUE;
    case kEndMessage:
      ::EndDialog(window_, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

void WindowHost::onCommand(int id) {
  switch (id) {
    case IDOK:
      post(DialogCommand::Start);
      return;
    case IDCANCEL:
      post(DialogCommand::Cancel);
      return;
    case IDC_BROWSE:
      // A new attempt starts as the first one did, in the middle.
      centerWindow();
      post(DialogCommand::Browse);
      return;
    default:
      return;
  }
}

void WindowHost::post(DialogCommand command) {
  if (ICommandSink* sink = sink_.load()) sink->post(command);
}

// Null leaves the colours to the dialog.
HBRUSH WindowHost::statusLineColors(HDC context, HWND control) {
  if (!failedShown_ || control != ::GetDlgItem(window_, IDC_STATUS_LINE)) return nullptr;
  auto brush = reinterpret_cast<HBRUSH>(
      ::DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context), reinterpret_cast<LPARAM>(control)));
  ::SetTextColor(context, kAlertColor);
  return brush;
}

void WindowHost::setProgress(int percent) {
  if (::SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_GETPOS, 0, 0) == percent) return;
  ::SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void WindowHost::onWindowThread(const std::function<void()>& work) {
  ::SendMessageA(window_, kRunMessage, 0, reinterpret_cast<LPARAM>(&work));
}

void WindowHost::showCaption(const std::string& caption) {
  onWindowThread([&] { ::SetWindowTextW(window_, windowLine(caption).c_str()); });
}

void WindowHost::showStatus(const std::string& text) {
  onWindowThread([&] { ::SetWindowTextW(::GetDlgItem(window_, IDC_STATUS_LINE), windowLine(text).c_str()); });
}

void WindowHost::showStatusAlert() {
  onWindowThread([&] {
    failedShown_ = true;
    ::InvalidateRect(window_, nullptr, TRUE);
  });
}

void WindowHost::showProgress(int percent) {
  ::SendMessageA(window_, kProgressMessage, static_cast<WPARAM>(percent), 0);
}

void WindowHost::showNotes(const std::string& notes) {
  onWindowThread([&] { ::SetDlgItemTextW(window_, IDC_NOTES, windowLines(notes).c_str()); });
}

void WindowHost::showControls(const DialogControls& controls) {
  onWindowThread([&] { applyControls(controls); });
}

void WindowHost::applyControls(const DialogControls& controls) {
  HWND start = ::GetDlgItem(window_, IDOK);
  HWND cancel = ::GetDlgItem(window_, IDCANCEL);
  ::EnableWindow(start, controls.startEnabled);
  ::EnableWindow(cancel, controls.cancelEnabled);
  ::EnableWindow(::GetDlgItem(window_, IDC_BROWSE), controls.browseEnabled);
  ::SetWindowTextW(cancel, windowLine(controls.cancelLabel).c_str());
  ::EnableMenuItem(::GetSystemMenu(window_, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (controls.closeEnabled ? MF_ENABLED : MF_GRAYED));
  // The keyboard follows the way through the dialog: Enter starts once
  // Start can be pressed, and confirms the success message's "确定" after.
  HWND focus = controls.startEnabled ? start : controls.cancelEnabled ? cancel : nullptr;
  if (focus != nullptr) ::SendMessageA(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
}

void WindowHost::showMessage(const std::string& text, const std::string& caption) {
  onWindowThread([&] {
    ::MessageBoxW(window_, windowLine(text).c_str(), windowLine(caption).c_str(), MB_OK | MB_ICONINFORMATION);
  });
}

bool WindowHost::askRetry(const std::string& text, const std::string& caption) {
  bool retry = false;
  onWindowThread([&] {
    retry = ::MessageBoxW(window_, windowLine(text).c_str(), windowLine(caption).c_str(),
                          MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
  });
  return retry;
}

// The picker also takes a typed folder, which players copy from the game's
// shortcut.
bool WindowHost::pickFolder(const std::string& title, std::string* folder) {
  bool picked = false;
  onWindowThread([&] {
    const std::string ansiTitle = ansiText(windowLine(title));
    char chosen[MAX_PATH] = {};
    BROWSEINFOA browse{};
    browse.hwndOwner = window_;
    browse.pszDisplayName = chosen;
    browse.lpszTitle = ansiTitle.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE list = ::SHBrowseForFolderA(&browse);
    if (list == nullptr) return;
    picked = ::SHGetPathFromIDListA(list, chosen) != FALSE;
    ::CoTaskMemFree(list);
    if (picked) *folder = chosen;
  });
  return picked;
}

}  // namespace qelt
