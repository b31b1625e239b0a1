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

// Copies `sourcePath` over `targetPath` (unless both name one file; a failed
// copy is code 5 "File=%s, WinErr: %d" with the target), then toggles the
// target's scrambling, dropping its old trailer when it carried a valid
// one, and seals it with a fresh trailer. The builder's packages and the
// updater's copyAndSeal go through it.
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

}  // namespace AXP
