// Reading a whole packed file through a stream, piece by piece.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "axp/pack/pak_file.h"

namespace axptool {

// Takes one piece of a packed file; false stops the reading (the sink has
// reported why).
using PieceSink = std::function<bool(const char* data, uint32_t length)>;

// Hands the packed file `name` to `sink` in pieces, in order. False when
// the file cannot be opened or read (the pack has reported why) or the sink
// refused a piece. The stream is given back to the pack on every path.
bool readPackedFile(AXP::IPakFile* pack, const std::string& name, const PieceSink& sink);

}  // namespace axptool
