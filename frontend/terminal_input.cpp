#include "frontend/terminal_input.h"

#include <condition_variable>
#include <deque>
#include <iostream>
#include <mutex>
#include <thread>

namespace qelt {
namespace {

const char kBlanks[] = " \t\r";

struct KeyBinding {
  const char* key;  // as typed, in small letters
  DialogCommand command;
};
// Enter alone presses the default button, Start.
constexpr KeyBinding kKeyBindings[] = {
    {"", DialogCommand::Start},      {"s", DialogCommand::Start},  {"c", DialogCommand::Cancel},
    {"\x1b", DialogCommand::Cancel}, {"b", DialogCommand::Browse}, {"q", DialogCommand::Close},
};

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

// Lives as long as the reading thread or the input object, whichever ends
// last.
struct TerminalInput::Shared {
  std::mutex mutex;
  std::condition_variable lineArrived;
  ICommandSink* sink = nullptr;
  bool prompting = false;
  std::deque<std::string> promptLines;
  bool ended = false;

  void deliver(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    if (prompting) {
      promptLines.push_back(line);
      lineArrived.notify_all();
      return;
    }
    std::optional<DialogCommand> command = commandForKey(line);
    if (command && sink != nullptr) sink->post(*command);
  }

  // The end of the input is the player leaving: the close command, which
  // the dialog refuses while it applies (the host sends it again later).
  void finish() {
    std::lock_guard<std::mutex> lock(mutex);
    ended = true;
    lineArrived.notify_all();
    if (sink != nullptr) sink->post(DialogCommand::Close);
  }
};

std::optional<DialogCommand> commandForKey(const std::string& line) {
  const std::string key = lowered(trimmed(line));
  for (const KeyBinding& binding : kKeyBindings) {
    if (key == binding.key) return binding.command;
  }
  return std::nullopt;
}

TerminalInput::TerminalInput() : shared_(std::make_shared<Shared>()) {}

void TerminalInput::start() {
  std::thread([shared = shared_] {
    std::string line;
    while (std::getline(std::cin, line)) shared->deliver(line);
    shared->finish();
  }).detach();
}

void TerminalInput::setSink(ICommandSink* sink) {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->sink = sink;
}

bool TerminalInput::readPromptLine(std::string* line) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->prompting = true;
  shared_->lineArrived.wait(lock, [this] { return !shared_->promptLines.empty() || shared_->ended; });
  shared_->prompting = false;
  if (shared_->promptLines.empty()) return false;
  *line = trimmed(shared_->promptLines.front());
  shared_->promptLines.pop_front();
  return true;
}

bool TerminalInput::ended() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->ended;
}

}  // namespace qelt
