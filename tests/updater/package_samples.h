// Archives for the package reader's tests, besides those of
// test_packages.h: a sample of every kind of entry, a package the builder
// makes and seals, and the places of an archive's records, for damaging
// copies of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "test_packages.h"

namespace package_samples {

// Stored, deflated, empty and LZMA-packed entries, one in a folder.
std::vector<updater_testing::PackageEntry> sampleEntries();
std::string sampleArchive(const testing_support::TempDir& dir);
// The archive of `entries`, as bytes.
std::string archiveOf(const testing_support::TempDir& dir, const std::vector<updater_testing::PackageEntry>& entries);
// A package the builder makes from two small versions: scrambled, sealed.
std::string builtPackage(const testing_support::TempDir& dir);
// The bytes scrambled if plain, descrambled if scrambled.
std::string toggled(const testing_support::TempDir& dir, const std::string& bytes);
// The archive with `comment` as its comment.
std::string withComment(const std::string& archive, const std::string& comment);

// Where the records of a sound archive lie.
struct ArchiveLayout {
  size_t endRecord = 0;
  std::vector<size_t> central;    // directory record of each entry
  std::vector<size_t> local;      // local header of each entry
  std::vector<size_t> dataBegin;  // first byte of each entry's data
  std::vector<size_t> dataEnd;    // one past its last byte
  std::vector<bool> deflated;
  bool inStoredData(size_t at) const;
};
ArchiveLayout layoutOf(const std::string& archive);

// Makes both records of entry `index` claim `size` as its uncompressed
// size, or as its compressed size with `compressed`.
void claimSize(std::string* archive, const ArchiveLayout& layout, size_t index, bool compressed, uint32_t size);

}  // namespace package_samples
