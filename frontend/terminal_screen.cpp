#include "frontend/terminal_screen.h"

#include <algorithm>

#include "frontend/dialog_messages.h"
#include "frontend/display_text.h"
#include "frontend/text_format.h"

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
const char kPrompt[] = "键入按键后回车 > ";
const char kPercentFormat[] = "%3d%%";
const char kBarDone = '#';
const char kBarLeft = '-';
constexpr size_t kMaxNotesLines = 12;
constexpr int kBarMargin = 8;
constexpr int kMinBarWidth = 10;
constexpr int kMaxBarWidth = 60;

std::string progressBar(int percent, int columns) {
  int width = std::clamp(columns - kBarMargin, kMinBarWidth, kMaxBarWidth);
  int done = width * percent / kProgressFull;
  return "[" + std::string(static_cast<size_t>(done), kBarDone) +
         std::string(static_cast<size_t>(width - done), kBarLeft) + "] " + formatText(kPercentFormat, percent);
}

// The first lines of the notes, with a mark when there are more.
std::string notesBox(const std::string& notes) {
  std::string lines = displayLines(notes);
  std::string box;
  size_t shown = 0;
  size_t at = 0;
  while (at < lines.size() && shown < kMaxNotesLines) {
    size_t end = lines.find('\n', at);
    if (end == std::string::npos) end = lines.size();
    box += "  " + lines.substr(at, end - at) + "\n";
    ++shown;
    at = end + 1;
  }
  if (at < lines.size()) box += std::string("  ") + kMoreNotes + "\n";
  return box;
}

// An enabled button shows its key; a disabled one is dimmed, without key.
std::string button(const char* key, const std::string& label, bool enabled) {
  if (enabled) return std::string("[") + key + "] " + label;
  return std::string(kDim) + "[ ] " + label + kPlain;
}

}  // namespace

std::string renderScreen(const TerminalScreen& screen, int columns) {
  const DialogControls& controls = screen.controls;
  std::string text = kClearScreen;
  text += std::string(kBold) + displayLine(screen.caption) + kPlain + "\n\n";
  text += screen.alert ? std::string(kRed) + displayLine(screen.status) + kPlain : displayLine(screen.status);
  text += "\n" + progressBar(std::clamp(screen.progress, kProgressEmpty, kProgressFull), columns) + "\n\n";
  text += std::string(kNotesLabel) + "\n" + notesBox(screen.notes) + "\n";
  text += button("b", kBrowseLabel, controls.browseEnabled) + "   " + button("s", kStartLabel, controls.startEnabled) +
          "   " + button("c", controls.cancelLabel, controls.cancelEnabled) + "   " +
          button("q", kCloseLabel, controls.closeEnabled) + "\n\n";
  return text + kPrompt;
}

}  // namespace qelt
