// The host for a person at a terminal: the dialog is drawn on the terminal
// and redrawn whenever it changes; the buttons are keys typed with Enter;
// message boxes and the folder picker are questions below the dialog.
#pragma once

#include <ostream>
#include <string>

#include "frontend/dialog_host.h"
#include "frontend/terminal_input.h"
#include "frontend/terminal_screen.h"

namespace qelt {

class TerminalHost : public IDialogHost {
 public:
  // Draws on `out`, `columns` wide; reads standard input.
  TerminalHost(std::ostream* out, int columns) : out_(out), columns_(columns) {}
  // Leaves the cursor on a fresh line below the dialog.
  ~TerminalHost();
  TerminalHost(const TerminalHost&) = delete;
  TerminalHost& operator=(const TerminalHost&) = delete;

  void attach(ICommandSink* sink) override;
  void showCaption(const std::string& caption) override;
  void showStatus(const std::string& text) override;
  void showStatusAlert() override;
  void showProgress(int percent) override;
  void showNotes(const std::string& notes) override;
  void showControls(const DialogControls& controls) override;
  void showMessage(const std::string& text, const std::string& caption) override;
  bool askRetry(const std::string& text, const std::string& caption) override;
  bool pickFolder(const std::string& title, std::string* folder) override;

 private:
  void redraw();
  // Draws the dialog with a question below it.
  void ask(const std::string& question, const std::string& answers);

  std::ostream* out_;
  int columns_;
  TerminalScreen screen_;
  TerminalInput input_;
  bool reading_ = false;
  ICommandSink* sink_ = nullptr;
};

}  // namespace qelt
