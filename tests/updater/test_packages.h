// Patch packages for the updater's tests, written with the builder's ZIP
// writer (or, for archives our writer never makes, with Python's zipfile).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "axp/pack/pak_file.h"
#include "axp/patchmaker/package_writer.h"
#include "axp/updater/updater.h"

namespace updater_testing {

using UpdaterHandle = AXP::UpdaterHandle;
using PackHandle = AXP::PakFileHandle;

using AXP::PackageEntry;

// Writes a ZIP archive of the entries in the given order.
bool writePackage(const std::string& path, const std::vector<PackageEntry>& entries);
// The archive of the entries written in one pass to a pipe, so that each
// entry's sizes and CRC follow its data in a descriptor; empty on failure.
// The entries must fit in the pipe's buffer.
std::string streamedPackage(const std::vector<PackageEntry>& entries);
// Scrambles a written archive in place and appends the checksum trailer,
// as the builder seals its packages.
bool sealPackage(const std::string& path);
// `data` as an LZMA-packed entry.
std::string lzmaPacked(const std::string& data);

// A sealed package at `path` whose "(command)" is `commands` and whose
// other entries are `entries`, each LZMA-packed, opened by a new updater.
UpdaterHandle openedPatch(const std::string& path, const std::string& commands, std::vector<PackageEntry> entries,
                          bool maintainLists = false);
// A pack at `path` holding `files`, its list saved.
bool makePack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files);
// The bytes of a packed file, or "<absent>".
std::string packedFile(AXP::IPakFile* pack, const std::string& name);

// Runs a Python script with python3; false when python3 is missing or the
// script fails.
bool havePython();
bool runPython(const std::string& script);

// `count` bytes of pseudo-random data from `seed`; `compressible` mixes in
// repeated runs.
std::string sampleBytes(size_t count, unsigned seed, bool compressible);

}  // namespace updater_testing
