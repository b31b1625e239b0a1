#include "frontend/unattended_host.h"

#include "frontend/display_text.h"
#include "host/terminal.h"

namespace qelt {

void UnattendedHost::press(DialogCommand command) {
  if (sink_ != nullptr) sink_->post(command);
}

void UnattendedHost::showStatus(const std::string& text) { *out_ << displayLine(text) << std::endl; }

void UnattendedHost::showMessage(const std::string& text, const std::string& /*caption*/) {
  *out_ << displayLine(text) << std::endl;
}

bool UnattendedHost::pickFolder(const std::string& /*title*/, std::string* folder) {
  if (foldersOffered_ == installDirs_.size()) return false;
  *folder = installDirs_[foldersOffered_++];
  return true;
}

void UnattendedHost::showControls(const DialogControls& controls) {
  host::holdInterrupts(!controls.closeEnabled);
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
