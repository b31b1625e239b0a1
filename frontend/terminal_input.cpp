#include "frontend/terminal_input.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "host/terminal.h"

namespace qelt {
namespace {

constexpr int kStandardInput = 0;
// How long an Escape waits for the rest of a key's sequence.
constexpr int kEscapeWaitMilliseconds = 50;
constexpr int kWaitWithoutLimit = -1;
const char kBlanks[] = " \t\r";
const char kLineFeed = '\n';

enum class Prompt { None, Key, Line };

std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

// Lives as long as the reading thread or the input object, whichever ends
// last.
struct TerminalInput::Shared {
  explicit Shared(std::shared_ptr<TerminalView> shownView) : view(std::move(shownView)) {}

  const std::shared_ptr<TerminalView> view;
  std::mutex mutex;
  std::condition_variable arrived;
  ICommandSink* sink = nullptr;
  Prompt prompt = Prompt::None;
  std::deque<Key> promptKeys;
  std::deque<std::string> promptLines;
  std::string partialLine;
  bool ended = false;

  void read() {
    KeyDecoder decoder;
    std::vector<Key> keys;
    char bytes[256];
    for (;;) {
      const int timeout = decoder.pending() ? kEscapeWaitMilliseconds : kWaitWithoutLimit;
      const int got = host::readInput(kStandardInput, bytes, sizeof bytes, timeout);
      if (host::takeTerminalResized()) view->resize();
      if (got < 0) return finish();
      keys.clear();
      if (got == 0) {
        decoder.flush(&keys);
      } else if (!takeLineBytes(bytes, static_cast<size_t>(got))) {
        decoder.feed(bytes, static_cast<size_t>(got), &keys);
      }
      for (const Key& key : keys) deliver(key);
    }
  }

  // While the folder picker waits, the bytes are a line being typed.
  bool takeLineBytes(const char* bytes, size_t count) {
    std::lock_guard<std::mutex> lock(mutex);
    if (prompt != Prompt::Line) return false;
    for (size_t i = 0; i < count; ++i) {
      if (bytes[i] != kLineFeed) {
        partialLine += bytes[i];
        continue;
      }
      promptLines.push_back(trimmed(partialLine));
      partialLine.clear();
      arrived.notify_all();
    }
    return true;
  }

  void deliver(const Key& key) {
    if (view->scrollFor(key.kind)) return;
    std::optional<DialogCommand> command;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (prompt == Prompt::Key) {
        promptKeys.push_back(key);
        arrived.notify_all();
        return;
      }
      command = postCommandFor(key);
    }
    view->setHint(command ? "" : kUnknownKeyHint);
  }

  // Called with the mutex held.
  std::optional<DialogCommand> postCommandFor(const Key& key) {
    std::optional<DialogCommand> command = commandForKey(key, view->controls());
    if (command && sink != nullptr) sink->post(*command);
    return command;
  }

  // The end of the input is the player leaving: the close command, which
  // the dialog refuses while it applies (the host sends it again later).
  void finish() {
    std::lock_guard<std::mutex> lock(mutex);
    ended = true;
    arrived.notify_all();
    if (sink != nullptr) sink->post(DialogCommand::Close);
  }
};

TerminalInput::TerminalInput(std::shared_ptr<TerminalView> view) : shared_(std::make_shared<Shared>(std::move(view))) {}

void TerminalInput::start() {
  std::thread([shared = shared_] { shared->read(); }).detach();
}

void TerminalInput::setSink(ICommandSink* sink) {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->sink = sink;
}

std::optional<Key> TerminalInput::readPromptKey() {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->prompt = Prompt::Key;
  shared_->arrived.wait(lock, [this] { return !shared_->promptKeys.empty() || shared_->ended; });
  shared_->prompt = Prompt::None;
  if (shared_->promptKeys.empty()) return std::nullopt;
  Key key = shared_->promptKeys.front();
  shared_->promptKeys.pop_front();
  return key;
}

void TerminalInput::endPrompt() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  for (const Key& key : shared_->promptKeys) shared_->postCommandFor(key);
  shared_->promptKeys.clear();
}

bool TerminalInput::readPromptLine(std::string* line) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->prompt = Prompt::Line;
  host::setLineEditing(true);
  shared_->arrived.wait(lock, [this] { return !shared_->promptLines.empty() || shared_->ended; });
  host::setLineEditing(false);
  shared_->prompt = Prompt::None;
  shared_->partialLine.clear();
  if (shared_->promptLines.empty()) return false;
  *line = shared_->promptLines.front();
  shared_->promptLines.pop_front();
  return true;
}

bool TerminalInput::ended() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->ended;
}

}  // namespace qelt
