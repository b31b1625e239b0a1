// Helpers of the pack tests: packs built from name/content pairs, reading
// packed files back, and looking at or damaging a pack's bytes on disk.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <utility>

#include "axp/pack/pack_file.h"
#include "support/temp_dir.h"

namespace pack_testing {

using Contents = std::map<std::string, std::string>;

// Inserts every pair from memory (with flush) into an open pack.
inline void insertAll(AXP::PackFile* pack, const Contents& contents) {
  for (const auto& [name, bytes] : contents) {
    ASSERT_TRUE(pack->insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                     name.c_str(), true, true))
        << name;
  }
}

// A closed pack at `path` holding `contents` and, with `withList`, a saved
// (list) naming them.
inline void buildPack(const std::string& path, const Contents& contents, bool withList = true) {
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(path.c_str()));
  pack.setListTracking(withList ? 1 : 0);
  insertAll(&pack, contents);
  if (withList) {
    ASSERT_TRUE(pack.saveList());
  }
}

// The whole packed file `name`, read through a stream; "<absent>" when it
// cannot be opened.
inline std::string readPacked(AXP::IPakFile* pack, const char* name) {
  AXP::IStream* stream = pack->openFile(name);
  if (stream == nullptr) return "<absent>";
  std::string bytes(stream->size(), '\0');
  const uint32_t got = stream->read(bytes.data(), stream->size());
  stream->close();
  bytes.resize(got);
  return bytes;
}

// Two names whose probe chains start at the same hash position, in the
// order a table walk meets them once both are inserted in that order.
inline std::pair<std::string, std::string> namesSharingStart() {
  std::map<uint32_t, std::string> byStart;
  for (int i = 0;; ++i) {
    const std::string name = "n" + std::to_string(i);
    auto [it, added] = byStart.emplace(AXP::startPosition(AXP::hashName(name).start), name);
    if (!added) return {it->second, name};
  }
}

using testing_support::readFile;

inline AXP::PackHeader headerOnDisk(const std::string& path) {
  AXP::PackHeader header{};
  const std::string bytes = readFile(path);
  if (bytes.size() >= sizeof header) std::memcpy(&header, bytes.data(), sizeof header);
  return header;
}

// Overwrites bytes of a file in place.
inline void patchFile(const std::string& path, uint64_t offset, const void* bytes, size_t length) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(length));
}

template <typename T>
void patchValue(const std::string& path, uint64_t offset, const T& value) {
  patchFile(path, offset, &value, sizeof value);
}

}  // namespace pack_testing
