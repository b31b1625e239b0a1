// The container a patch program carries at the end of its own file, and the
// record in the program's initialised data that says where it begins. The
// patch program reads both; "axp exe" writes both.
//
// Container layout, from the container start to the end of the file
// (integers little-endian):
//   4 bytes          length of the "from" version text, below 32
//   that many bytes  the "from" text, no terminator
//   4 bytes          length of the "to" version text, below 32
//   that many bytes  the "to" text
//   the rest         the scrambled package (keyed by the offset from its own
//                    first byte), checksum trailer included
//
// The start record is a marker field followed by the 32-bit start. A
// producing tool finds the marker in the program file, which must hold it
// exactly once, and writes the program's length into the start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace AXP {

// The marker field: this text padded with zero bytes to kMarkerFieldSize.
// The start record is initialised from the literal itself, so that the
// program file holds the marker in the record and nowhere else.
#define QELT_CONTAINER_MARKER "<<QELT patch: container start>>"
inline constexpr char kContainerMarkerText[] = QELT_CONTAINER_MARKER;
constexpr size_t kMarkerFieldSize = 32;
constexpr size_t kStartFieldSize = 4;
static_assert(sizeof kContainerMarkerText <= kMarkerFieldSize, "the marker text must fit its field");

constexpr size_t kVersionLengthSize = 4;
// Version texts are stored in 32-byte fields with their terminator.
constexpr uint32_t kVersionLengthLimit = 32;

struct ContainerStartRecord {
  char marker[kMarkerFieldSize];
  uint8_t start[kStartFieldSize];  // little-endian
};
static_assert(sizeof(ContainerStartRecord) == kMarkerFieldSize + kStartFieldSize, "no padding in the record");

// A version text fit for the container: below 32 bytes, and usable inside a
// file name (the package copy is named after the range), so without path
// separators and control characters.
inline bool isStorableVersionText(const std::string& text) {
  if (text.size() >= kVersionLengthLimit) return false;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') return false;
  }
  return true;
}

// Reads the container of a patch program file: first its version range,
// then, on request, a copy of its package.
class ContainerReader {
 public:
  ContainerReader();
  ~ContainerReader();
  ContainerReader(const ContainerReader&) = delete;
  ContainerReader& operator=(const ContainerReader&) = delete;

  // Opens the program file and reads the range of the container that begins
  // at `start`. Failures: code 3 "File=%s, WinErr=%d" (cannot open), code 6
  // (the start lies beyond the file or beyond 31 bits), code 2 "%s" with the
  // program path (a version text is cut short, too long or not storable).
  bool open(const std::string& programPath, uint32_t start);
  const std::string& fromVersion() const { return fromVersion_; }
  const std::string& toVersion() const { return toVersion_; }
  // Copies the package, the rest of the program file, to `path`. A copy not
  // written whole is removed: code 5 "File=%s, WinErr: %d" with `path`.
  bool copyPackage(const std::string& path);

 private:
  struct ProgramFile;
  std::unique_ptr<ProgramFile> program_;
  std::string programPath_;
  std::string fromVersion_;
  std::string toVersion_;
};

// Produces a self-contained patch program at `outPath`: a copy of the patch
// program `stubPath` whose start record names the copy's length, followed
// by the container with the version range and the sealed package. False
// with the reason in the error record, and no output file left behind.
// Refused: version texts that do not fit the container, a package that is
// not a sealed (scrambled, checksummed) package, a stub without exactly one
// start record or whose record is already set, and an output that is one of
// the inputs.
bool writePatchProgram(const std::string& stubPath, const std::string& fromVersion, const std::string& toVersion,
                       const std::string& packagePath, const std::string& outPath);

}  // namespace AXP
