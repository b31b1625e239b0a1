// The player's typing at the terminal, read line by line on a thread of its
// own: a line is a key for the dialog's buttons, unless a prompt (message
// box, folder picker) waits for it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "frontend/dialog_channel.h"

namespace qelt {

// The button a typed line stands for: "s" (or just Enter, the default
// button) Start, "c" or Escape Cancel, "b" Browse, "q" the close command.
std::optional<DialogCommand> commandForKey(const std::string& line);

class TerminalInput {
 public:
  TerminalInput();

  // Starts reading standard input. The reading thread is not waited for:
  // it may stay blocked in a read until the process ends.
  void start();
  // Where the keys go; null: nowhere.
  void setSink(ICommandSink* sink);
  // Dialog thread: the next line typed, for a prompt; false once the input
  // has ended.
  bool readPromptLine(std::string* line);
  // True once standard input has ended.
  bool ended() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace qelt
