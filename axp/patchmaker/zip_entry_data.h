// The data phase of an entry: the source's bytes go to the target as they
// are (store) or as a raw deflate stream.
#pragma once

#include <cstdint>

#include "axp/patchmaker/zip_source.h"
#include "axp/patchmaker/zip_target.h"

namespace AXP {

// False when reading the source or writing the target fails.
bool storeEntryData(ZipSource* source, ZipTarget* target);

// Deflates at level 8 through `transfer`, a buffer of kZipTransferSize
// bytes. False when reading, deflating or writing fails.
bool deflateEntryData(ZipSource* source, ZipTarget* target, uint8_t* transfer);

}  // namespace AXP
