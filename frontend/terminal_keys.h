// The keys the terminal host acts on, decoded from the bytes a terminal
// sends for them, and the dialog button each key presses.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "frontend/dialog_host.h"

namespace qelt {

enum class KeyKind { Character, Enter, Escape, Up, Down, PageUp, PageDown, Home, End, Other };

struct Key {
  KeyKind kind = KeyKind::Other;
  char character = 0;  // for Character: the printable ASCII byte, in small letters
};

// Turns the bytes read from a terminal in key mode into keys. The arrow
// keys, PgUp, PgDn, Home and End come as escape sequences; an Escape on its
// own is the Escape key once nothing follows it in time.
class KeyDecoder {
 public:
  // Decodes `count` bytes; the keys they complete are appended to `keys`.
  void feed(const char* bytes, size_t count, std::vector<Key>* keys);
  // True while an Escape waits for what may follow it.
  bool pending() const { return !sequence_.empty(); }
  // Nothing followed in time: what waited is taken as keys of its own.
  void flush(std::vector<Key>* keys);

 private:
  void finishSequence(std::vector<Key>* keys);

  std::string sequence_;  // an escape sequence read so far
};

// The button Enter presses: Start while it is enabled, after a finished
// update the button that starts the game; none in the other states.
std::optional<DialogCommand> defaultCommand(const DialogControls& controls);

// The button a key presses: s Start, c or Escape the button with id 2
// ("取消", after success the one that starts the game), b Browse, q the
// close command, Enter the default button. None for any other key.
std::optional<DialogCommand> commandForKey(const Key& key, const DialogControls& controls);

}  // namespace qelt
