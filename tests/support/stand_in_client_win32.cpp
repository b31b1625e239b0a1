#include <windows.h>

#include <future>
#include <thread>

#include "support/stand_in_client.h"

namespace testing_support {
namespace {

LRESULT CALLBACK clientWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// Runs on the client's thread: the window lives as long as its messages
// are handled there.
void runWindow(std::promise<HWND>* shown) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = clientWindow;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClientWindowClass;
  ::RegisterClassA(&windowClass);
  HWND window = ::CreateWindowExA(0, kClientWindowClass, "QELT", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
  shown->set_value(window);
  if (window == nullptr) return;
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
  ::UnregisterClassA(kClientWindowClass, windowClass.hInstance);
}

}  // namespace

struct StandInClient::Running {
  std::thread thread;
  HWND window = nullptr;
};

StandInClient::StandInClient(const std::string& programFileName)
    : programFileName_(programFileName), running_(std::make_unique<Running>()) {
  std::promise<HWND> shown;
  std::future<HWND> window = shown.get_future();
  running_->thread = std::thread(runWindow, &shown);
  running_->window = window.get();
}

StandInClient::~StandInClient() { close(); }

void StandInClient::close() {
  if (!running_->thread.joinable()) return;
  if (running_->window != nullptr) ::PostMessageA(running_->window, WM_CLOSE, 0, 0);
  running_->thread.join();
  running_->window = nullptr;
}

}  // namespace testing_support
