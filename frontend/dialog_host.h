// The window system the dialog is shown by: it draws the dialog's controls,
// shows message boxes and the folder picker, and turns the player's input
// into commands. All of it is called on the dialog thread.
#pragma once

#include <string>

#include "frontend/dialog_channel.h"

namespace qelt {

enum class DialogState { Starting, Ready, Applying, Failed, Done };

struct DialogControls {
  DialogState state = DialogState::Starting;
  bool startEnabled = false;
  bool cancelEnabled = true;
  bool browseEnabled = false;
  bool closeEnabled = true;  // the window's close command (title bar, Ctrl-C)
  std::string cancelLabel;   // "取消", or "确定" after success
};

class IDialogHost {
 public:
  // The player's commands go to `sink` from now on.
  virtual void attach(ICommandSink* sink) = 0;

  virtual void showCaption(const std::string& caption) = 0;
  // The installation found and its version; empty while none is.
  virtual void showInstallation(const std::string& folder, const std::string& version) = 0;
  virtual void showStatus(const std::string& text) = 0;
  // From now on the status line is drawn in red.
  virtual void showStatusAlert() = 0;
  virtual void showProgress(int percent) = 0;
  virtual void showNotes(const std::string& notes) = 0;
  virtual void showControls(const DialogControls& controls) = 0;

  // An information box with an OK button; returns when it was closed.
  virtual void showMessage(const std::string& text, const std::string& caption) = 0;
  // An error box with Retry and Cancel; true for Retry.
  virtual bool askRetry(const std::string& text, const std::string& caption) = 0;
  // The folder picker; true with the chosen folder.
  virtual bool pickFolder(const std::string& title, std::string* folder) = 0;

 protected:
  ~IDialogHost() = default;
};

}  // namespace qelt
