#include "packed_file_reader.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace axptool {
namespace {

const uint32_t kPieceSize = 64 * 1024;

}  // namespace

bool readPackedFile(AXP::IPakFile* pack, const std::string& name, const PieceSink& sink) {
  AXP::StreamHandle stream(pack->openFile(name.c_str()));
  if (!stream) return false;
  std::vector<char> piece(kPieceSize);
  for (uint32_t left = stream->size(); left > 0;) {
    // A stream gives less than asked only when its read failed, and then
    // it has reported the failure.
    uint32_t got = stream->read(piece.data(), std::min(left, kPieceSize));
    if (got == 0) return false;
    if (!sink(piece.data(), got)) return false;
    left -= std::min(got, left);
  }
  return true;
}

}  // namespace axptool
