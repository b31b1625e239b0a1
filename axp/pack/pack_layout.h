// Sanity limits on a header and block table read from disk, checked before
// anything is sized from them: a damaged pack must fail to open rather than
// make the pack read outside its tables, allocate without bound or write
// edits over its own tables.
#pragma once

#include <cstdint>
#include <vector>

#include "axp/pack/pack_format.h"

namespace AXP {

// True when the hash table and the block table area lie after the header,
// apart from each other, inside the file and below kPackOffsetLimit, when
// blockCount fits the block table area and when the data area starts after
// both tables and inside the file.
bool headerFitsFile(const PackHeader& header, uint64_t fileSize);

// True when a block in use has the packed file's bytes inside the file, and
// when the space of a free block or of an empty file's block lies below
// kPackOffsetLimit.
bool blockFitsFile(const BlockEntry& block, uint64_t fileSize);

// Marks each block whose space (its data and padding) any other block of
// the table also claims. A sound table has none; a damaged one may, and
// a free block among them must never be handed out, or the data written
// there lands on a file another block still holds.
std::vector<bool> overlappingBlocks(const std::vector<BlockEntry>& blocks);

// Adds to `shared` each block that more than one entry in use names (the
// removal of one of them frees it while the others still read from it),
// and each free block an entry in use names. `inUse` holds the positions
// of the table's entries in use: most of a table is not, and a pack is
// opened often.
void markContestedBlocks(const std::vector<HashEntry>& table, const std::vector<uint32_t>& inUse,
                         const std::vector<BlockEntry>& blocks, std::vector<bool>* shared);

}  // namespace AXP
