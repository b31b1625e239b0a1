// The host for players on Windows: the patch dialog as a window (dialog
// resource 129), with Windows' message boxes and folder picker. The window
// belongs to the thread that calls run(), the program's main thread; the
// dialog logic runs on a thread of its own and changes the window only
// through synchronous sends, so each change is drawn, and each box
// answered, before the logic goes on. The window thread never waits for
// the logic: the buttons only post their commands.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "frontend/dialog_host.h"

namespace qelt {

class WindowHost : public IDialogHost {
 public:
  WindowHost() = default;
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  // Shows the dialog and runs `program`, which drives this host, on a
  // thread of its own; the window closes when `program` returns. False
  // when the dialog could not be shown or the thread not started.
  bool run(std::function<void()> program);

  void attach(ICommandSink* sink) override { sink_ = sink; }
  void showCaption(const std::string& caption) override;
  // The template has no place for the installation: the caption names the
  // versions once the package is open.
  void showInstallation(const std::string& /*folder*/, const std::string& /*version*/) override {}
  void showStatus(const std::string& text) override;
  void showStatusAlert() override;
  void showProgress(int percent) override;
  void showNotes(const std::string& notes) override;
  void showControls(const DialogControls& controls) override;
  void showMessage(const std::string& text, const std::string& caption) override;
  bool askRetry(const std::string& text, const std::string& caption) override;
  bool pickFolder(const std::string& title, std::string* folder) override;

 private:
  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
  bool initialize(HWND window);
  void centerWindow();
  void onCommand(int id);
  HBRUSH statusLineColors(HDC context, HWND control);
  void setProgress(int percent);
  void applyControls(const DialogControls& controls);
  // Runs `work` on the window's thread; returns once it has run there.
  void onWindowThread(const std::function<void()>& work);
  void post(DialogCommand command);

  HWND window_ = nullptr;
  std::function<void()> program_;
  std::thread programThread_;
  std::atomic<ICommandSink*> sink_{nullptr};
  // From the first failure on the status line is drawn in red. Used on
  // the window's thread only.
  bool failedShown_ = false;
};

}  // namespace qelt
