#include "frontend/unattended_host.h"

#include "frontend/display_text.h"
#include "frontend/interrupt_guard.h"
#include "frontend/patch_texts.h"

namespace qelt {

void UnattendedHost::press(DialogCommand command) {
  if (sink_ != nullptr) sink_->post(command);
}

void UnattendedHost::say(const std::string& text) {
  const std::string line = displayLine(text);
  *out_ << line << std::endl;
  if (log_ != nullptr) *log_ << line << std::endl;
}

// A new attempt clears the installation shown; nothing is printed for that.
void UnattendedHost::showInstallation(const std::string& folder, const std::string& version) {
  if (folder.empty()) return;
  say(kFolderLabel + folder);
  say(kVersionLabel + version);
}

void UnattendedHost::showStatus(const std::string& text) { say(text); }

void UnattendedHost::showMessage(const std::string& text, const std::string& /*caption*/) { say(text); }

bool UnattendedHost::pickFolder(const std::string& /*title*/, std::string* folder) {
  if (foldersOffered_ == installDirs_.size()) return false;
  *folder = installDirs_[foldersOffered_++];
  return true;
}

void UnattendedHost::showControls(const DialogControls& controls) {
  holdInterrupts(!controls.closeEnabled);
  switch (controls.state) {
    case DialogState::Ready:
      press(DialogCommand::Start);
      return;
    case DialogState::Failed:
      // Every attempt after the first asks the picker, and the retries are
      // bounded by the folders given, so this ends.
      if (foldersOffered_ < installDirs_.size() && retries_ < installDirs_.size()) {
        ++retries_;
        press(DialogCommand::Browse);
      } else {
        press(DialogCommand::Cancel);
      }
      return;
    case DialogState::Done:
      // A script has no use for the game's launcher.
      press(DialogCommand::Close);
      return;
    case DialogState::Starting:
    case DialogState::Applying:
      return;
  }
}

}  // namespace qelt
