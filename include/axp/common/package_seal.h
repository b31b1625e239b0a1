// The 4-byte checksum trailer that seals a package file: the system
// checksum (crcBuffer) of all bytes before it, little-endian.
#pragma once

#include <cstdint>
#include <string>

namespace AXP {

// Size of the trailer at the end of a sealed package.
constexpr uint32_t kChecksumTrailerSize = 4;

// The system checksum of a disk file into `*out`; with `skipTrailer` its
// last 4 bytes are left out (a file of 4 bytes or less then gives the
// checksum of nothing, 0). A file that cannot be opened or read: code 4,
// `*out` left at 0xFFFFFFFF, false.
bool crcFile(const std::string& path, uint32_t* out, bool skipTrailer);

// Writes `sourcePath` with its scrambling toggled (its old trailer dropped
// when it carried a valid one) and sealed with a fresh trailer to
// `targetPath`, which may name the same file. The result is made beside
// the target and moved over it once whole: the target is never seen
// scrambled without its trailer, and a failure leaves it as it was. The
// updater's copyAndSeal and the tool's seal go through it.
bool copyAndSealPackage(const std::string& sourcePath, const std::string& targetPath);

// Appends the checksum of the whole file to its end.
bool appendChecksumTrailer(const std::string& path);

// What a file's last 4 bytes say about the bytes before them.
enum class TrailerState {
  Matches,   // they are the checksum of the rest: a sealed file
  Differs,   // a damaged package, or a file never sealed
  TooShort,  // 3 bytes or less: no room for a trailer
};

// The state of the file's trailer into `*state`; false (reported) only
// when the file cannot be opened, positioned or read.
bool readTrailerState(const std::string& path, TrailerState* state);

// True when the file's last 4 bytes equal the checksum of the bytes before
// them. A file of 3 bytes or less, or one whose trailer differs, gives
// false without a report (readTrailerState tells them apart).
bool checkChecksumTrailer(const std::string& path);

// What a package file's end says about its trailer. The trailer is
// optional in the package format: a package without one ends where its
// archive's end record ends.
enum class SealState {
  Sealed,   // its last 4 bytes are the checksum of the bytes before them
  Plain,    // no trailer: the archive's end record ends the file
  Damaged,  // neither: a wrong trailer, a file cut short, no package at all
};

// The seal state of a package file (scrambled or plain); false (reported)
// only when the file cannot be read.
bool examineSeal(const std::string& path, SealState* state);

// Whether a package may be used, checked before anything uses it: a sealed
// one always, a plain one unless `trailerRequired` (the patch program's
// package is always sealed by its builder, so only a sealed one will do).
// Refusals: code 10 "File=%s(too small)" for a file too short for a
// trailer, code 2 "File=%s(checksum trailer mismatch)" for a damaged one,
// code 2 "File=%s(no checksum trailer)" for a plain one when a trailer is
// required. `*state` (when given) receives what was found.
bool checkPackageSeal(const std::string& path, bool trailerRequired, SealState* state = nullptr);

}  // namespace AXP
