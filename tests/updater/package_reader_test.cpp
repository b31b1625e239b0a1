// The package reader on its own: lookups, reading piece by piece, the
// CRC-32 check, what it refuses and with which error number, and how
// little it reads to open an archive.
#include "axp/common/package_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "axp/common/scrambled_io.h"
#include "package_samples.h"
#include "support/temp_dir.h"
#include "support/zip_layout.h"

namespace {

using AXP::PackageEntryReader;
using AXP::PackageReader;
using AXP::ZipError;
using testing_support::ZipLayout;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using namespace std::string_literals;

// Opens `bytes`, written to a file, with the default I/O table.
ZipError openError(const TempDir& dir, const std::string& bytes) {
  writeFile(dir.file("probe.zip"), bytes);
  PackageReader archive;
  archive.open(dir.file("probe.zip"), AXP::defaultPackageIo());
  return archive.error();
}

// The entry read in pieces of `piece` bytes; "<failed N>" with the error.
std::string readEntry(PackageReader& archive, const std::string& name, uint32_t piece = 4096) {
  const AXP::PackageEntryInfo* info = archive.find(name);
  if (info == nullptr) return "<absent>";
  PackageEntryReader entry(archive);
  if (!entry.open(*info)) return "<failed " + std::to_string(static_cast<int>(archive.error())) + ">";
  std::string bytes(piece, '\0');
  std::string data;
  int64_t got = 0;
  while ((got = entry.read(bytes.data(), piece)) > 0) data.append(bytes, 0, static_cast<size_t>(got));
  return got < 0 ? "<failed " + std::to_string(static_cast<int>(archive.error())) + ">" : data;
}

TEST(PackageReader, TheFirstOfNamesThatDifferInCaseIsFound) {
  TempDir dir;
  writeFile(dir.file("a.zip"), package_samples::archiveOf(dir, {{"Read.ME", "first"},
                                                                 {"read.me", "second"},
                                                                 {"\x81" "A", "upper second byte"},
                                                                 {"\x81" "a", "lower second byte"}}));
  PackageReader archive;
  ASSERT_TRUE(archive.open(dir.file("a.zip"), AXP::defaultPackageIo()));
  EXPECT_EQ(archive.entries().size(), 4u);
  EXPECT_EQ(readEntry(archive, "READ.me"), "first");
  EXPECT_EQ(readEntry(archive, "read.me"), "first");
  // A double-byte character's second byte keeps its case.
  EXPECT_EQ(readEntry(archive, "\x81" "a"), "lower second byte");
  EXPECT_EQ(readEntry(archive, "\x81" "A"), "upper second byte");
  EXPECT_EQ(readEntry(archive, "read"), "<absent>");
}

TEST(PackageReader, EntriesReadInPiecesAndSeekBackAndForth) {
  TempDir dir;
  const auto samples = package_samples::sampleEntries();
  writeFile(dir.file("a.zip"), package_samples::sampleArchive(dir));
  writeFile(dir.file("streamed.zip"), updater_testing::streamedPackage(samples));
  for (const std::string& path : {dir.file("a.zip"), dir.file("streamed.zip")}) {
    PackageReader archive;
    ASSERT_TRUE(archive.open(path, AXP::defaultPackageIo())) << path;
    for (const auto& sample : samples) {
      for (uint32_t piece : {1u, 7u, 4096u}) EXPECT_EQ(readEntry(archive, sample.name, piece), sample.data) << piece;
      if (sample.data.size() < 100) continue;
      PackageEntryReader entry(archive);
      ASSERT_TRUE(entry.open(*archive.find(sample.name)));
      const uint32_t size = static_cast<uint32_t>(sample.data.size());
      for (uint32_t at : {size / 2, 3u, size - 10, 0u, size}) {
        std::string bytes(10, '\0');
        ASSERT_TRUE(entry.seek(at)) << sample.name << at;
        EXPECT_EQ(entry.tell(), at);
        const int64_t got = entry.read(bytes.data(), 10);
        EXPECT_EQ(bytes.substr(0, static_cast<size_t>(got)), sample.data.substr(at, 10)) << sample.name << at;
      }
      EXPECT_FALSE(entry.seek(size + 1));
    }
  }
}

TEST(PackageReader, ACrcMismatchFailsTheReadThatReachesTheLastByte) {
  TempDir dir;
  std::string archive = package_samples::sampleArchive(dir);
  const ZipLayout layout = testing_support::zipLayout(archive);
  // Entry 3 is 3000 stored bytes; one in the middle is changed.
  archive[layout.dataBegin[3] + 1500] ^= 0x10;
  writeFile(dir.file("a.zip"), archive);
  PackageReader reader;
  ASSERT_TRUE(reader.open(dir.file("a.zip"), AXP::defaultPackageIo()));
  PackageEntryReader entry(reader);
  ASSERT_TRUE(entry.open(*reader.find("Data/big.bin")));
  std::string bytes(3000, '\0');
  EXPECT_EQ(entry.read(bytes.data(), 2999), 2999);
  EXPECT_EQ(entry.read(bytes.data(), 1), -1);
  EXPECT_EQ(reader.error(), ZipError::Corrupted);
  EXPECT_EQ(entry.read(bytes.data(), 1), -1);
  EXPECT_FALSE(entry.seek(0));
  // A seek over the unread bytes still reads them for the check.
  PackageEntryReader skipping(reader);
  ASSERT_TRUE(skipping.open(*reader.find("Data/big.bin")));
  EXPECT_FALSE(skipping.seek(3000) && skipping.read(bytes.data(), 1) == 0);
}

TEST(PackageReader, RefusalsCarryTheirErrorNumbers) {
  TempDir dir;
  const std::string archive = package_samples::sampleArchive(dir);
  const ZipLayout layout = testing_support::zipLayout(archive);
  const size_t end = layout.endRecord;
  auto patched = [&](size_t at, std::string bytes) {
    std::string copy = archive;
    copy.replace(at, bytes.size(), bytes);
    return copy;
  };
  PackageReader missing;
  EXPECT_FALSE(missing.open(dir.file("missing.zip"), AXP::defaultPackageIo()));
  EXPECT_EQ(missing.error(), ZipError::OpenFailed);
  EXPECT_EQ(static_cast<int>(ZipError::OpenFailed), -4117);
  EXPECT_EQ(openError(dir, archive.substr(0, 21)), ZipError::TooShort);
  EXPECT_EQ(openError(dir, std::string(5000, 'x')), ZipError::NoEndRecord);
  EXPECT_EQ(openError(dir, archive + std::string(65537, 'T')), ZipError::NoEndRecord);
  EXPECT_EQ(openError(dir, archive + std::string(65536, 'T')), ZipError::None);
  EXPECT_EQ(openError(dir, patched(end + 4, "\x01"s)), ZipError::Unsupported);  // disk number
  EXPECT_EQ(openError(dir, patched(end + 16, "\xFF\xFF\xFF\xFF"s)), ZipError::TooLarge);
  EXPECT_EQ(openError(dir, patched(end + 12, "\x00\x00\x01"s)), ZipError::BadDirectory);
  EXPECT_EQ(openError(dir, patched(layout.central[1], "PK\x01\x01"s)), ZipError::Corrupted);
  // A ZIP64 locator right before the end record.
  std::string zip64 = archive;
  zip64.insert(end, "PK\x06\x07"s + std::string(16, '\0'));
  EXPECT_EQ(openError(dir, zip64), ZipError::TooLarge);

  // Entries: encrypted, an unknown method, a local header that disagrees.
  const std::pair<size_t, std::string> damages[] = {
      {layout.central[1] + 8, "\x01"s},  // encrypted flag
      {layout.central[1] + 10, "\x0C"s},  // bzip2
      {layout.local[1] + 14, "\x00"s},    // local CRC
      {layout.local[1] + 30, "R"s},       // local name
  };
  const ZipError expected[] = {ZipError::Unsupported, ZipError::Unsupported, ZipError::Corrupted,
                               ZipError::Corrupted};
  for (size_t i = 0; i < 4; ++i) {
    writeFile(dir.file("entry.zip"), patched(damages[i].first, damages[i].second));
    PackageReader reader;
    ASSERT_TRUE(reader.open(dir.file("entry.zip"), AXP::defaultPackageIo()));
    EXPECT_EQ(readEntry(reader, "readme.txt"), "<failed " + std::to_string(static_cast<int>(expected[i])) + ">") << i;
    EXPECT_EQ(readEntry(reader, "Data/big.bin"), package_samples::sampleEntries()[3].data);
  }
}

// Counts the reads of the table underneath.
int64_t (*plainRead)(void*, void*, uint32_t) = nullptr;
int reads = 0;
int64_t countedRead(void* handle, void* buffer, uint32_t length) {
  ++reads;
  return plainRead(handle, buffer, length);
}

TEST(PackageReader, OpensWithTwoReadsAndLooksUpWithoutReading) {
  TempDir dir;
  std::vector<updater_testing::PackageEntry> entries;
  for (int i = 0; i < 3000; ++i) entries.push_back({"file" + std::to_string(i) + ".bin", std::to_string(i)});
  const std::string path = dir.file("many.zip");
  ASSERT_TRUE(updater_testing::writePackage(path, entries));
  ASSERT_TRUE(updater_testing::sealPackage(path));
  AXP::PackageIo counting = *AXP::scrambledIo();
  plainRead = counting.read;
  counting.read = countedRead;
  reads = 0;
  PackageReader archive;
  ASSERT_TRUE(archive.open(path, &counting)) << static_cast<int>(archive.error());
  // The last 64 KiB + 22 bytes, then the directory before them.
  EXPECT_EQ(reads, 2);
  for (int i = 0; i < 3000; i += 7) ASSERT_NE(archive.find("FILE" + std::to_string(i) + ".BIN"), nullptr);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(readEntry(archive, "file2999.bin"), "2999");
}

}  // namespace
