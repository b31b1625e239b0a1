#include "frontend/terminal_host.h"

#include "host/terminal.h"

namespace qelt {
namespace {

constexpr int kStandardInput = 0;
const char kOkAnswer[] = "[回车] 确定";
const char kRetryAnswers[] = "[r] 重试   [c] 取消";
const char kFolderAnswer[] = "文件夹路径 (空行: 取消) > ";
const char kBlankLine[] = "\n";
const char kNoKey = '\0';

}  // namespace

TerminalHost::TerminalHost(std::ostream* out) : out_(out), view_(std::make_shared<TerminalView>(out)), input_(view_) {
  host::beginKeyMode(kStandardInput);
}

TerminalHost::~TerminalHost() {
  view_->close();
  host::endKeyMode();
  *out_ << kBlankLine << std::flush;
}

void TerminalHost::attach(ICommandSink* sink) {
  sink_ = sink;
  input_.setSink(sink);
  if (!reading_ && sink != nullptr) {
    reading_ = true;
    input_.start();
  }
}

void TerminalHost::showCaption(const std::string& caption) {
  view_->change([&](TerminalScreen* screen) { screen->caption = caption; });
}

void TerminalHost::showInstallation(const std::string& folder, const std::string& version) {
  view_->change([&](TerminalScreen* screen) {
    screen->installDir = folder;
    screen->installedVersion = version;
  });
}

void TerminalHost::showStatus(const std::string& text) {
  view_->change([&](TerminalScreen* screen) { screen->status = text; });
}

void TerminalHost::showStatusAlert() {
  view_->change([](TerminalScreen* screen) { screen->alert = true; });
}

void TerminalHost::showProgress(int percent) {
  view_->change([&](TerminalScreen* screen) { screen->progress = percent; });
}

void TerminalHost::showNotes(const std::string& notes) {
  view_->change([&](TerminalScreen* screen) {
    screen->notes = notes;
    screen->notesTop = 0;
  });
}

void TerminalHost::showControls(const DialogControls& controls) {
  view_->change([&](TerminalScreen* screen) { screen->controls = controls; });
  host::holdInterrupts(!controls.closeEnabled);
  // The player left (end of input) while leaving was refused: leave as soon
  // as the dialog allows it.
  if (controls.closeEnabled && input_.ended() && sink_ != nullptr) sink_->post(DialogCommand::Close);
}

void TerminalHost::showQuestion(const std::string& caption, const std::string& text, const char* answers) {
  view_->change([&](TerminalScreen* screen) {
    screen->questionCaption = caption;
    screen->question = text;
    screen->answers = answers;
    screen->hint.clear();
  });
}

bool TerminalHost::ask(const std::string& caption, const std::string& text, const char* answers, KeyKind yesKind,
                       char yes, char no) {
  showQuestion(caption, text, answers);
  bool answer = false;
  for (std::optional<Key> key; (key = input_.readPromptKey());) {
    const bool isYes = key->kind == yesKind && (yesKind != KeyKind::Character || key->character == yes);
    const bool isNo = key->kind == KeyKind::Escape || (key->kind == KeyKind::Character && key->character == no);
    if (isYes || isNo) {
      answer = isYes;
      break;
    }
    view_->setHint(kUnknownKeyHint);
  }
  input_.endPrompt();
  showQuestion({}, {}, "");
  return answer;
}

void TerminalHost::showMessage(const std::string& text, const std::string& caption) {
  ask(caption, text, kOkAnswer, KeyKind::Enter, kNoKey, kNoKey);
}

bool TerminalHost::askRetry(const std::string& text, const std::string& caption) {
  return ask(caption, text, kRetryAnswers, KeyKind::Character, 'r', 'c');
}

bool TerminalHost::pickFolder(const std::string& title, std::string* folder) {
  showQuestion({}, title, kFolderAnswer);
  std::string line;
  bool picked = input_.readPromptLine(&line) && !line.empty();
  if (picked) *folder = line;
  showQuestion({}, {}, "");
  return picked;
}

}  // namespace qelt
