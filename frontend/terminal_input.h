// The player's keys at the terminal, read on a thread of their own as they
// are typed: the notes scroll, a button key goes to the dialog, any other
// key gets a hint, unless a message box waits for a key or the folder
// picker for a typed line.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "frontend/dialog_channel.h"
#include "frontend/terminal_keys.h"
#include "frontend/terminal_view.h"

namespace qelt {

// The hint for a key that does nothing.
inline constexpr char kUnknownKeyHint[] = "无效按键：请按方括号中的键";

class TerminalInput {
 public:
  explicit TerminalInput(std::shared_ptr<TerminalView> view);

  // Starts reading standard input. The reading thread is not waited for:
  // it may stay blocked in a read until the process ends.
  void start();
  // Where the button keys go; null: nowhere.
  void setSink(ICommandSink* sink);
  // Dialog thread: the next key that neither scrolls nor is typed for
  // something else; none once the input has ended.
  std::optional<Key> readPromptKey();
  // Dialog thread: the message box has its answer. Keys typed after the
  // answer (read together with it) are the dialog's again.
  void endPrompt();
  // Dialog thread: the next line typed with the terminal's line editing,
  // without surrounding blanks; false once the input has ended.
  bool readPromptLine(std::string* line);
  // True once standard input has ended.
  bool ended() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace qelt
