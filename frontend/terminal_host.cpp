#include "frontend/terminal_host.h"

#include "frontend/display_text.h"
#include "frontend/interrupt_guard.h"

namespace qelt {
namespace {

const char kOkAnswer[] = "[回车] 确定 > ";
const char kRetryAnswers[] = "[r] 重试   [c] 取消 > ";
const char kFolderAnswer[] = "文件夹路径 (空行: 取消) > ";
const char kRetryKey = 'r';
const char kBlankLine[] = "\n";

bool isRetry(const std::string& line) {
  return line.size() == 1 && (line[0] == kRetryKey || line[0] == kRetryKey - 'a' + 'A');
}

bool isCancel(const std::string& line) { return commandForKey(line) == DialogCommand::Cancel; }

}  // namespace

void TerminalHost::attach(ICommandSink* sink) {
  sink_ = sink;
  input_.setSink(sink);
  if (!reading_ && sink != nullptr) {
    reading_ = true;
    input_.start();
  }
}

TerminalHost::~TerminalHost() { *out_ << kBlankLine << std::flush; }

void TerminalHost::redraw() { *out_ << renderScreen(screen_, columns_) << std::flush; }

void TerminalHost::showCaption(const std::string& caption) {
  screen_.caption = caption;
  redraw();
}

void TerminalHost::showStatus(const std::string& text) {
  screen_.status = text;
  redraw();
}

void TerminalHost::showStatusAlert() {
  screen_.alert = true;
  redraw();
}

void TerminalHost::showProgress(int percent) {
  screen_.progress = percent;
  redraw();
}

void TerminalHost::showNotes(const std::string& notes) {
  screen_.notes = notes;
  redraw();
}

void TerminalHost::showControls(const DialogControls& controls) {
  screen_.controls = controls;
  holdInterrupts(!controls.closeEnabled);
  redraw();
  // The player left (end of input) while leaving was refused: leave as soon
  // as the dialog allows it.
  if (controls.closeEnabled && input_.ended() && sink_ != nullptr) sink_->post(DialogCommand::Close);
}

void TerminalHost::ask(const std::string& question, const std::string& answers) {
  *out_ << renderScreen(screen_, columns_) << kBlankLine << displayLines(question) << kBlankLine << answers
        << std::flush;
}

void TerminalHost::showMessage(const std::string& text, const std::string& caption) {
  ask(caption + " " + text, kOkAnswer);
  std::string line;
  input_.readPromptLine(&line);
  redraw();
}

bool TerminalHost::askRetry(const std::string& text, const std::string& caption) {
  std::string line;
  bool retry = false;
  for (;;) {
    ask(caption + " " + text, kRetryAnswers);
    if (!input_.readPromptLine(&line)) break;
    if (isRetry(line) || isCancel(line)) {
      retry = isRetry(line);
      break;
    }
  }
  redraw();
  return retry;
}

bool TerminalHost::pickFolder(const std::string& title, std::string* folder) {
  ask(title, kFolderAnswer);
  std::string line;
  bool picked = input_.readPromptLine(&line) && !line.empty();
  if (picked) *folder = line;
  redraw();
  return picked;
}

}  // namespace qelt
