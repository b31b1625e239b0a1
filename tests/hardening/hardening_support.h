// Small helpers shared by the hardening tests: a scratch folder kept in
// memory, sample data and packed-file reads (whole-file reads and writes
// are testing_support's).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace AXP {
class IPakFile;
}

namespace crash_testing {

// A fresh folder removed with its contents at the end of its scope. It lies
// in /dev/shm when the machine has one: a child killed by a signal leaves
// its writes in the page cache, so the cuts test the same thing there as on
// a disk, while the packs' flushes cost nothing.
class ScratchFolder : public testing_support::TempDir {
 public:
  ScratchFolder();
};

bool fileExists(const std::string& path);

// `count` bytes drawn from `seed`, with runs mixed in so that they pack.
std::string sampleBytes(size_t count, uint64_t seed);

// A closed pack "bounds.axp" in `folder` holding `contents` and its list.
std::string makeListedPack(const ScratchFolder& folder, const std::map<std::string, std::string>& contents);

// The whole packed file `name`; nothing when the pack cannot open it.
std::optional<std::string> readPacked(AXP::IPakFile* pack, const std::string& name);

}  // namespace crash_testing
