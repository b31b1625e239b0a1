// The host for scripts and for runs without a terminal: nobody is asked.
// Start is pressed as soon as it is enabled; the client prompt is answered
// with Cancel; the folder picker answers with the next of the folders given
// on the command line, or with nothing. A failed attempt is tried again
// (Browse) while folders are left to offer, else the program ends. Every
// status line is printed as a line of its own, message boxes likewise, and
// so are the installation found and its version; a log, when given, gets
// the same lines.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "frontend/dialog_host.h"

namespace qelt {

class UnattendedHost : public IDialogHost {
 public:
  UnattendedHost(std::ostream* out, std::vector<std::string> installDirs, std::ostream* log = nullptr)
      : out_(out), log_(log), installDirs_(std::move(installDirs)) {}

  void attach(ICommandSink* sink) override { sink_ = sink; }
  void showCaption(const std::string& /*caption*/) override {}
  void showInstallation(const std::string& folder, const std::string& version) override;
  void showStatus(const std::string& text) override;
  void showStatusAlert() override {}
  void showProgress(int /*percent*/) override {}
  void showNotes(const std::string& /*notes*/) override {}
  void showControls(const DialogControls& controls) override;
  void showMessage(const std::string& text, const std::string& caption) override;
  bool askRetry(const std::string& /*text*/, const std::string& /*caption*/) override { return false; }
  bool pickFolder(const std::string& title, std::string* folder) override;

 private:
  void press(DialogCommand command);
  // One line, made readable, to the output and the log.
  void say(const std::string& text);

  std::ostream* out_;
  std::ostream* log_;
  std::vector<std::string> installDirs_;
  size_t foldersOffered_ = 0;
  size_t retries_ = 0;
  ICommandSink* sink_ = nullptr;
};

}  // namespace qelt
