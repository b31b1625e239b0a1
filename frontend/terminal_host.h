// The host for a person at a terminal: the dialog fills the terminal and
// is drawn again whenever it changes or the terminal is resized; the
// buttons are single keys, read without Enter while the dialog shows;
// message boxes take the notes' place and wait for their keys, the folder
// picker for a typed line.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "frontend/dialog_host.h"
#include "frontend/terminal_input.h"
#include "frontend/terminal_view.h"

namespace qelt {

class TerminalHost : public IDialogHost {
 public:
  // Draws on `out`, the terminal on standard output; puts the terminal on
  // standard input into key mode.
  explicit TerminalHost(std::ostream* out);
  // Gives the terminal its mode back and leaves the cursor on a fresh line
  // below the dialog.
  ~TerminalHost();
  TerminalHost(const TerminalHost&) = delete;
  TerminalHost& operator=(const TerminalHost&) = delete;

  void attach(ICommandSink* sink) override;
  void showCaption(const std::string& caption) override;
  void showInstallation(const std::string& folder, const std::string& version) override;
  void showStatus(const std::string& text) override;
  void showStatusAlert() override;
  void showProgress(int percent) override;
  void showNotes(const std::string& notes) override;
  void showControls(const DialogControls& controls) override;
  void showMessage(const std::string& text, const std::string& caption) override;
  bool askRetry(const std::string& text, const std::string& caption) override;
  bool pickFolder(const std::string& title, std::string* folder) override;

 private:
  // Shows a message box and waits for a key it takes: true for `yes`,
  // false for `no` (or when the input ended).
  bool ask(const std::string& caption, const std::string& text, const char* answers, KeyKind yesKind,
           char yes, char no);
  void showQuestion(const std::string& caption, const std::string& text, const char* answers);

  std::ostream* out_;
  std::shared_ptr<TerminalView> view_;
  TerminalInput input_;
  bool reading_ = false;
  ICommandSink* sink_ = nullptr;
};

}  // namespace qelt
