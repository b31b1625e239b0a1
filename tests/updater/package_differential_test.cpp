// The package reader against zziplib, on archives the builder's writer
// makes, on a package the builder seals, and on damaged copies of them:
// the two give the same answers, except where this reader refuses on
// purpose, and each test names where that must happen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "axp/common/scrambled_io.h"
#include "fuzz/harness/package_reader_check.h"
#include "package_samples.h"
#include "support/temp_dir.h"
#include "support/zip_layout.h"

namespace {

using fuzzing::readers::Difference;
using testing_support::ZipLayout;
using testing_support::readFile;
using testing_support::TempDir;

using Differences = std::set<Difference>;

Differences differencesOf(const std::string& bytes, const std::string& label) {
  const auto result =
      fuzzing::readers::compareReaders(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(result.problem, "") << label;
  return result.differences;
}

bool within(const Differences& found, const Differences& allowed) {
  return std::includes(allowed.begin(), allowed.end(), found.begin(), found.end());
}

TEST(PackageDifferential, SoundArchivesReadAlike) {
  TempDir dir;
  const std::string sealed = package_samples::builtPackage(dir);
  ASSERT_FALSE(sealed.empty());
  // zziplib reads plain bytes: the package is compared descrambled, with
  // its trailer still behind the archive.
  const std::string plain = package_samples::toggled(dir, sealed);
  EXPECT_EQ(differencesOf(plain, "built package"), Differences{});
  EXPECT_EQ(differencesOf(package_samples::sampleArchive(dir), "sample archive"), Differences{});
  EXPECT_EQ(differencesOf(updater_testing::streamedPackage(package_samples::sampleEntries()),
                          "archive written in one pass"),
            Differences{});
  // Duplicate names and names differing in ASCII case: both find the first.
  const std::string duplicates =
      package_samples::archiveOf(dir, {{"A.txt", "first"}, {"a.txt", "second"}, {"a.txt", "third"}});
  EXPECT_EQ(differencesOf(duplicates, "duplicates"), Differences{});
}

// An archive of another writer: entry comments and extra fields, a folder
// entry, both methods at the highest level; and an archive with no entries.
TEST(PackageDifferential, ArchivesOfAnotherWriterReadAlike) {
  if (!updater_testing::havePython()) GTEST_SKIP() << "python3 is not installed";
  TempDir dir;
  const std::string path = dir.file("python.zip");
  ASSERT_TRUE(updater_testing::runPython(
      "import zipfile\n"
      "with zipfile.ZipFile('" + path + "', 'w', compresslevel=9) as z:\n"
      "    for i, method in enumerate([zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED] * 3):\n"
      "        info = zipfile.ZipInfo('dir/entry%d.txt' % i)\n"
      "        info.compress_type = method\n"
      "        info.comment = b'comment of entry %d' % i\n"
      "        info.extra = b'\\x99\\x99\\x04\\x00abcd'\n"
      "        z.writestr(info, ('entry %d ' % i) * (i * 500 + 1))\n"
      "    z.writestr('dir/', '')\n"
      "    z.comment = b'archive comment'\n"));
  EXPECT_EQ(differencesOf(readFile(path), "python archive"), Differences{});
  EXPECT_EQ(differencesOf("PK\x05\x06" + std::string(18, '\0'), "no entries"),
            Differences{Difference::OpensEmptyArchive});
}

TEST(PackageDifferential, CommentsAndDataAfterTheEnd) {
  TempDir dir;
  const std::string archive = package_samples::sampleArchive(dir);
  EXPECT_EQ(differencesOf(testing_support::withZipComment(archive, std::string(1000, 'c')), "comment"), Differences{});
  EXPECT_EQ(differencesOf(testing_support::withZipComment(archive, std::string(65535, 'c')), "longest comment"),
            Differences{});
  for (size_t appended : {size_t{4}, size_t{30000}, size_t{65536 - 22}, size_t{70000}}) {
    EXPECT_EQ(differencesOf(archive + std::string(appended, 'T'), "appended " + std::to_string(appended)),
              Differences{});
  }
  // A block behind the archive that holds an end record's signature with
  // fields that fit nothing is passed over.
  std::string fake = "PK\x05\x06" + std::string(18, '\x7F');
  EXPECT_EQ(differencesOf(archive + fake + std::string(100, 'T'), "fake end record"),
            Differences{Difference::PassesOverFalseEndRecord});
}

TEST(PackageDifferential, TruncatedArchivesNeverOpenHalfRead) {
  TempDir dir;
  const std::string archive = package_samples::sampleArchive(dir);
  for (size_t length = 0; length < archive.size(); ++length) {
    const Differences found = differencesOf(archive.substr(0, length), "cut at " + std::to_string(length));
    // zziplib takes an end record that lacks its comment length.
    EXPECT_TRUE(within(found, {Difference::RefusesCutEndRecord})) << length;
  }
}

TEST(PackageDifferential, FlippedBytesAreRefusedWhereZziplibDeliversThem) {
  TempDir dir;
  const std::string archive = package_samples::sampleArchive(dir);
  const ZipLayout layout = testing_support::zipLayout(archive);
  // A high bit flipped into a name makes a lead byte of it.
  const Differences named = {Difference::RefusesCutEndRecord, Difference::RefusesDamagedDirectory,
                             Difference::RefusesSplitArchive, Difference::RefusesZip64,
                             Difference::RefusesDamagedEntry, Difference::RefusesUnsupportedEntry,
                             Difference::DoubleByteNames};
  for (size_t at = 0; at < archive.size(); ++at) {
    for (uint8_t mask : {0x01, 0x80}) {
      std::string flipped = archive;
      flipped[at] = static_cast<char>(flipped[at] ^ mask);
      const std::string label = "flip " + std::to_string(mask) + " at " + std::to_string(at);
      const Differences found = differencesOf(flipped, label);
      EXPECT_TRUE(within(found, named)) << label;
      // Inside stored data zziplib hands out the changed bytes; here the
      // CRC-32 refuses them. (A flip in deflated data may change nothing
      // that is read; what is delivered always matches the CRC.)
      if (layout.inStoredData(at)) {
        EXPECT_EQ(found, Differences{Difference::RefusesDamagedEntry}) << label;
      }
    }
  }
}

TEST(PackageDifferential, LyingSizesAreRefused) {
  TempDir dir;
  const std::string archive = package_samples::sampleArchive(dir);
  const ZipLayout layout = testing_support::zipLayout(archive);
  for (size_t entry = 0; entry < layout.central.size(); ++entry) {
    for (uint32_t claim : {0u, 1u, 4096u, 0x7FFFFFFFu}) {
      // Both records tell the same lie, so only the data can give it away.
      for (bool compressed : {false, true}) {
        std::string lying = archive;
        testing_support::claimZipSize(&lying, layout, entry, compressed, claim);
        const std::string label = "entry " + std::to_string(entry) + (compressed ? " packed " : " size ") +
                                  std::to_string(claim);
        const Differences found = differencesOf(lying, label);
        EXPECT_TRUE(within(found, {Difference::RefusesDamagedEntry})) << label;
      }
    }
  }
}

TEST(PackageDifferential, DoubleByteNamesKeepTheirSecondByte) {
  TempDir dir;
  // 0x81 0x41 and 0x81 0x61 are two different characters.
  const std::string archive = package_samples::archiveOf(dir, {{"\x81" "A.txt", "upper"}, {"\x81" "a.txt", "lower"}});
  EXPECT_EQ(differencesOf(archive, "double-byte names"), Differences{Difference::DoubleByteNames});
}

}  // namespace
