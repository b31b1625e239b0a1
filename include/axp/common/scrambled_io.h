// Scrambled packages: every byte of a package file is XOR-ed with a key byte
// that depends only on the byte's offset in the file. The ZIP reader reads a
// scrambled package where it lies through the I/O table below, whose read
// undoes the key stream.
#pragma once

#include <cstdint>
#include <string>

#include "axp/common/package_io.h"

namespace AXP {

// The key byte for the byte at offset `position` of a package file. Repeats
// every 256 bytes; keyByte(0) and keyByte(1) are nonzero.
uint8_t keyByte(uint32_t position);

// Makes the process-wide scrambled I/O table ready: the default package
// I/O table with only its read replaced by scrambledRead. May be called any
// number of times, from any thread; the contents never change.
void initScrambledIo();

// The process-wide scrambled I/O table; made ready on first use.
const PackageIo* scrambledIo();

// Reads like the default table's read, on a handle of the default table,
// and descrambles the bytes by their offset in the file. A read error or
// end of file passes through unchanged; a handle whose position cannot be
// told fails (-1).
int64_t scrambledRead(void* handle, void* buffer, uint32_t length);

// True when the file is longer than 2 bytes and its first two bytes
// descramble to "PK". A file that cannot be opened: code 3, false.
bool isScrambledZip(const std::string& path);

// Scrambles a plain file or descrambles a scrambled one, in place. With
// `dropTrailer` the last 4 bytes (a checksum trailer) are left out of the
// result; a file of 4 bytes or less is then refused with code 10.
bool toggleScrambling(const std::string& path, bool dropTrailer);

}  // namespace AXP
