// Extraction of one entry of an open package archive, to a file or to
// memory, with LZMA-packed entries unpacked. An entry the archive does not
// hold reads as empty data.
#pragma once

#include <zzip/zzip.h>

#include <cstdint>
#include <string>

namespace AXP {

// Largest entry extracted to memory. Its size comes from the package's
// directory and is allocated before the data is read, so a damaged or
// hostile size must not decide the allocation; pack contents stay far
// below it. Refused with code 14.
constexpr uint32_t kMaxMemoryEntrySize = 1u << 30;

// Writes the entry's data to `targetPath`, creating missing folders and
// replacing any file there. `entryName` is looked up ignoring ASCII case.
bool extractEntryToFile(ZZIP_DIR* archive, const std::string& entryName,
                        const std::string& targetPath, uint32_t* sizeOut);

// Points `*dataOut` at the entry's data in a process-wide buffer (valid
// until the next extraction), always followed by a zero byte.
bool extractEntryToMemory(ZZIP_DIR* archive, const std::string& entryName,
                          const uint8_t** dataOut, uint32_t* sizeOut);

}  // namespace AXP
