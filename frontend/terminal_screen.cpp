#include "frontend/terminal_screen.h"

#include <algorithm>
#include <vector>

#include "frontend/dialog_messages.h"
#include "frontend/display_text.h"
#include "frontend/patch_texts.h"
#include "frontend/terminal_keys.h"
#include "frontend/text_format.h"
#include "frontend/text_width.h"

namespace qelt {
namespace {

const char kClearScreen[] = "\x1b[H\x1b[2J";
const char kBold[] = "\x1b[1m";
const char kRed[] = "\x1b[31m";
const char kDim[] = "\x1b[2m";
const char kPlain[] = "\x1b[0m";
const char kNotesLabel[] = "版本信息:";
const char kMoreNotes[] = "...";
const char kStartLabel[] = "开始升级";
const char kBrowseLabel[] = "浏览";
const char kCloseLabel[] = "关闭窗口";
const char kLaunchLabel[] = "启动游戏";
const char kEnterKey[] = "/回车";
const char kKeyHelp[] = "直接按键，不用回车；方向键、PgUp、PgDn 滚动版本信息";
const char kButtonGap[] = "   ";
const char kIndent[] = "  ";
const char kPercentFormat[] = "%3d%%";
const char kBarDone = '#';
const char kBarLeft = '-';
// Caption, folder, version, status, bar, notes label, hint, buttons, keys.
constexpr int kFixedRows = 9;
constexpr int kIndentColumns = 2;
constexpr int kBarMargin = 8;
constexpr int kMinBarWidth = 10;
constexpr int kMaxBarWidth = 60;

std::string progressBar(int percent, int columns) {
  int width = std::clamp(columns - kBarMargin, kMinBarWidth, kMaxBarWidth);
  int done = width * percent / kProgressFull;
  return "[" + std::string(static_cast<size_t>(done), kBarDone) +
         std::string(static_cast<size_t>(width - done), kBarLeft) + "] " + formatText(kPercentFormat, percent);
}

// The lines of the notes, or of a message box's text, as the screen
// breaks them; a text's last line feed ends its last line.
std::vector<std::string> areaLines(const TerminalScreen& screen, int columns) {
  const std::string& text = screen.question.empty() ? screen.notes : screen.question;
  std::vector<std::string> lines = wrapToWidth(displayLines(text), columns - kIndentColumns);
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

NotesWindow windowFor(const std::vector<std::string>& lines, int rows) {
  return {static_cast<size_t>(std::max(rows - kFixedRows, 1)), lines.size()};
}

// The number of lines shown from `top`: the last row tells of lines below
// that do not fit, instead of showing one.
size_t shownLines(const NotesWindow& window, size_t top) {
  const size_t left = window.lines - std::min(top, window.lines);
  return left > window.rows ? window.rows - 1 : left;
}

std::string areaLabel(const TerminalScreen& screen, const NotesWindow& window, size_t top) {
  if (!screen.question.empty()) return std::string(kBold) + displayLine(screen.questionCaption) + kPlain;
  std::string label = kNotesLabel;
  if (window.lines > window.rows) {
    label += " (" + std::to_string(top + 1) + "-" + std::to_string(top + shownLines(window, top)) + "/" +
             std::to_string(window.lines) + ")";
  }
  return label;
}

// An enabled button shows its key, the default one also Enter, in bold; a
// disabled one is dimmed, without key.
std::string button(char key, const std::string& label, bool enabled, bool isDefault) {
  if (!enabled) return std::string(kDim) + "[ ] " + label + kPlain;
  std::string text = std::string("[") + key + (isDefault ? kEnterKey : "") + "] " + label;
  return isDefault ? kBold + text + kPlain : text;
}

std::string buttonRow(const DialogControls& controls) {
  const std::optional<DialogCommand> enter = defaultCommand(controls);
  const std::string cancelLabel = controls.state == DialogState::Done ? kLaunchLabel : controls.cancelLabel;
  return button('b', kBrowseLabel, controls.browseEnabled, false) + kButtonGap +
         button('s', kStartLabel, controls.startEnabled, enter == DialogCommand::Start) + kButtonGap +
         button('c', cancelLabel, controls.cancelEnabled, enter == DialogCommand::Cancel) + kButtonGap +
         button('q', kCloseLabel, controls.closeEnabled, false);
}

}  // namespace

NotesWindow notesWindow(const TerminalScreen& screen, int columns, int rows) {
  return windowFor(areaLines(screen, columns), rows);
}

std::string renderScreen(const TerminalScreen& screen, int columns, int rows) {
  auto fitted = [columns](const std::string& text) { return fitToWidth(displayLine(text), columns); };
  std::string text = kClearScreen;
  text += kBold + fitted(screen.caption) + kPlain + "\n";
  text += fitted(kFolderLabel + screen.installDir) + "\n";
  text += fitted(kVersionLabel + screen.installedVersion) + "\n";
  text += screen.alert ? kRed + fitted(screen.status) + kPlain : fitted(screen.status);
  text += "\n" + progressBar(std::clamp(screen.progress, kProgressEmpty, kProgressFull), columns) + "\n";

  const std::vector<std::string> lines = areaLines(screen, columns);
  const NotesWindow window = windowFor(lines, rows);
  const size_t top = screen.question.empty() ? std::min(screen.notesTop, lines.size()) : 0;
  text += areaLabel(screen, window, top) + "\n";
  const size_t shown = shownLines(window, top);
  for (size_t row = 0; row < window.rows; ++row) {
    if (row < shown) {
      text += kIndent + lines[top + row];
    } else if (top + row < lines.size()) {
      text += kIndent + std::string(kMoreNotes);
    }
    text += "\n";
  }
  text += kBold + fitted(screen.hint) + kPlain + "\n";
  text += buttonRow(screen.controls) + "\n";
  return text + (screen.answers.empty() ? fitted(kKeyHelp) : screen.answers);
}

}  // namespace qelt
