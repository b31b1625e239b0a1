#include "frontend/terminal_keys.h"

namespace qelt {
namespace {

constexpr char kEscape = '\x1b';
constexpr char kControlSequence = '[';  // ESC [ ... final byte
constexpr char kSingleShift = 'O';      // ESC O letter, the keypad's application mode
constexpr unsigned char kFirstFinalByte = 0x40;
constexpr unsigned char kLastFinalByte = 0x7E;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kLastPrintable = 0x7E;
constexpr size_t kLongestSequence = 16;

struct SequenceKey {
  const char* tail;  // after ESC
  KeyKind kind;
};
constexpr SequenceKey kSequenceKeys[] = {
    {"[A", KeyKind::Up},      {"OA", KeyKind::Up},        {"[B", KeyKind::Down},    {"OB", KeyKind::Down},
    {"[5~", KeyKind::PageUp}, {"[6~", KeyKind::PageDown}, {"[H", KeyKind::Home},    {"OH", KeyKind::Home},
    {"[1~", KeyKind::Home},   {"[7~", KeyKind::Home},     {"[F", KeyKind::End},     {"OF", KeyKind::End},
    {"[4~", KeyKind::End},    {"[8~", KeyKind::End},
};

struct KeyBinding {
  char character;
  DialogCommand command;
};
constexpr KeyBinding kKeyBindings[] = {
    {'s', DialogCommand::Start},
    {'c', DialogCommand::Cancel},
    {'b', DialogCommand::Browse},
    {'q', DialogCommand::Close},
};

bool isContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

Key keyForByte(unsigned char byte) {
  if (byte == '\r' || byte == '\n') return {KeyKind::Enter};
  if (byte >= kFirstPrintable && byte <= kLastPrintable) {
    const char c = static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte);
    return {KeyKind::Character, c};
  }
  return {KeyKind::Other};
}

// True once the sequence read so far is complete.
bool sequenceComplete(const std::string& sequence) {
  if (sequence.size() < 2) return false;
  if (sequence[1] != kControlSequence) return sequence[1] != kSingleShift || sequence.size() == 3;
  const unsigned char last = static_cast<unsigned char>(sequence.back());
  return sequence.size() > 2 && last >= kFirstFinalByte && last <= kLastFinalByte;
}

}  // namespace

void KeyDecoder::feed(const char* bytes, size_t count, std::vector<Key>* keys) {
  for (size_t i = 0; i < count; ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (!sequence_.empty()) {
      if (byte == kEscape) flush(keys);
      sequence_ += static_cast<char>(byte);
      if (sequenceComplete(sequence_) || sequence_.size() == kLongestSequence) finishSequence(keys);
      continue;
    }
    if (byte == kEscape) {
      sequence_ += static_cast<char>(byte);
    } else if (!isContinuationByte(byte)) {  // a character of several bytes is one key
      keys->push_back(keyForByte(byte));
    }
  }
}

void KeyDecoder::flush(std::vector<Key>* keys) {
  if (sequence_.empty()) return;
  keys->push_back({sequence_.size() == 1 ? KeyKind::Escape : KeyKind::Other});
  sequence_.clear();
}

void KeyDecoder::finishSequence(std::vector<Key>* keys) {
  Key key{KeyKind::Other};
  for (const SequenceKey& known : kSequenceKeys) {
    if (sequence_.compare(1, std::string::npos, known.tail) == 0) key.kind = known.kind;
  }
  keys->push_back(key);
  sequence_.clear();
}

std::optional<DialogCommand> defaultCommand(const DialogControls& controls) {
  if (controls.startEnabled) return DialogCommand::Start;
  if (controls.state == DialogState::Done && controls.cancelEnabled) return DialogCommand::Cancel;
  return std::nullopt;
}

std::optional<DialogCommand> commandForKey(const Key& key, const DialogControls& controls) {
  switch (key.kind) {
    case KeyKind::Enter:
      return defaultCommand(controls);
    case KeyKind::Escape:
      return DialogCommand::Cancel;
    case KeyKind::Character:
      for (const KeyBinding& binding : kKeyBindings) {
        if (key.character == binding.character) return binding.command;
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace qelt
