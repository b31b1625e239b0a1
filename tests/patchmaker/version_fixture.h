// Helpers of the builder's tests: version folders made of loose files and
// packs, and reading a finished package back entry by entry.
#pragma once

#include <gtest/gtest.h>
#ifdef AXP_TESTS_HAVE_ZZIP
#include <zzip/zzip.h>
#endif

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/package_reader.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/pack/pack_file.h"
#include "axp/updater/lzma_entry.h"
#include "support/temp_dir.h"

namespace patchmaker_testing {

// name -> bytes
using Contents = std::map<std::string, std::string>;

// A closed pack at `path` holding `contents` and a (list) naming them.
inline void buildPack(const std::string& path, const Contents& contents) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  AXP::PackFile pack;
  ASSERT_TRUE(pack.create(path.c_str())) << path;
  pack.setListTracking(1);
  for (const auto& [name, bytes] : contents) {
    ASSERT_TRUE(pack.insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()), name.c_str(), true, true))
        << name;
  }
  ASSERT_TRUE(pack.saveList()) << path;
}

// The packed file `name` of the pack at `path`; "<absent>" when the pack or
// the file cannot be opened.
inline std::string readPacked(const std::string& path, const std::string& name) {
  AXP::PackFile pack;
  if (!pack.open(path.c_str(), true)) return "<absent>";
  AXP::IStream* stream = pack.openFile(name.c_str());
  if (stream == nullptr) return "<absent>";
  std::string bytes(stream->size(), '\0');
  bytes.resize(stream->read(bytes.data(), stream->size()));
  stream->close();
  return bytes;
}

struct ArchiveEntry {
  std::string name;
  std::string stored;    // the entry's bytes as stored
  std::string unpacked;  // after LZMA unpacking; equal to `stored` for stored data
};

// The name and stored bytes of each entry of a plain ZIP archive, in the
// order of its central directory: read by zziplib, an independent reader,
// where the tests have it, else by the package reader. Fails the test when
// the archive cannot be read.
inline std::vector<std::pair<std::string, std::string>> readStoredEntries(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> entries;
#ifdef AXP_TESTS_HAVE_ZZIP
  zzip_error_t error = ZZIP_NO_ERROR;
  ZZIP_DIR* dir = zzip_dir_open(path.c_str(), &error);
  EXPECT_NE(dir, nullptr) << path << " zzip error " << error;
  if (dir == nullptr) return entries;
  ZZIP_DIRENT dirent;
  while (zzip_dir_read(dir, &dirent)) {
    ZZIP_FILE* file = zzip_file_open(dir, dirent.d_name, 0);
    EXPECT_NE(file, nullptr) << dirent.d_name;
    if (file == nullptr) continue;
    std::string stored(static_cast<size_t>(dirent.st_size), '\0');
    const zzip_ssize_t got = zzip_file_read(file, stored.data(), stored.size());
    EXPECT_EQ(got, static_cast<zzip_ssize_t>(stored.size())) << dirent.d_name;
    zzip_file_close(file);
    entries.emplace_back(dirent.d_name, stored);
  }
  zzip_dir_close(dir);
#else
  AXP::PackageReader archive;
  EXPECT_TRUE(archive.open(path, AXP::defaultPackageIo())) << path << " ziperr " << static_cast<int>(archive.error());
  for (const AXP::PackageEntryInfo& info : archive.entries()) {
    AXP::PackageEntryReader entry(archive);
    std::string stored(info.size, '\0');
    EXPECT_TRUE(entry.open(info) && entry.read(stored.data(), info.size) == info.size) << info.name;
    entries.emplace_back(info.name, stored);
  }
#endif
  return entries;
}

// The entries of a plain ZIP archive, in the order of its central
// directory, LZMA entries unpacked.
inline std::vector<ArchiveEntry> readArchive(const std::string& path) {
  std::vector<ArchiveEntry> entries;
  for (auto& [name, stored] : readStoredEntries(path)) {
    ArchiveEntry entry{name, stored, stored};
    const auto size = static_cast<uint32_t>(entry.stored.size());
    if (AXP::isLzmaEntry(entry.stored.data(), size)) {
      const uint8_t* data = nullptr;
      uint32_t unpackedSize = 0;
      EXPECT_TRUE(AXP::unpackLzma(entry.stored.data(), size, &data, &unpackedSize)) << entry.name;
      entry.unpacked.assign(reinterpret_cast<const char*>(data), unpackedSize);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

// A sealed package read back: checks its trailer, unseals a copy at
// `plainCopy` and reads that copy's entries.
inline std::vector<ArchiveEntry> readPackage(const std::string& package, const std::string& plainCopy) {
  EXPECT_TRUE(AXP::checkChecksumTrailer(package)) << package;
  testing_support::writeFile(plainCopy, testing_support::readFile(package));
  EXPECT_TRUE(AXP::toggleScrambling(plainCopy, true)) << plainCopy;
  return readArchive(plainCopy);
}

// The call failed with `code` and, when given, `message`.
inline void expectFailure(bool result, int32_t code, const std::string& message = std::string()) {
  EXPECT_FALSE(result);
  EXPECT_EQ(AXP::getLastErrorCode(), code) << AXP::getLastErrorMessage();
  if (!message.empty()) {
    EXPECT_EQ(AXP::getLastErrorMessage(), message);
  }
}

inline std::vector<std::string> entryNames(const std::vector<ArchiveEntry>& entries) {
  std::vector<std::string> names;
  for (const ArchiveEntry& entry : entries) names.push_back(entry.name);
  return names;
}

}  // namespace patchmaker_testing
