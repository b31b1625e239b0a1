// Archives for the package reader's tests, besides those of
// test_packages.h: a sample of every kind of entry and a package the
// builder makes and seals.
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
}  // namespace package_samples
