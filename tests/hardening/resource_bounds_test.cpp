// Inputs that claim more than they hold. Every read path must refuse such a
// claim, or read in bounded pieces, before it allocates by it, and must
// stop: the largest single allocation stays under the bound the library
// states for that path.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "allocation_probe.h"
#include "axp/common/error_record.h"
#include "axp/pack/data_stream.h"
#include "axp/pack/pack_file.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/patchmaker/zip_writer.h"
#include "axp/updater/entry_extractor.h"
#include "axp/updater/lzma_entry.h"
#include "axp/updater/updater.h"
#include "hardening_support.h"
#include "package_builder.h"
#include "support/temp_dir.h"

namespace crash_testing {
namespace {

// Every pack operation works with the tables, one stream preload (at most
// kPreloadLimit) and line buffers; none needs more than the block table
// area in one piece.
constexpr size_t kPackBound = AXP::kBlockTableAreaSize;
// An extraction's own buffers start at one read piece; a refused claim
// must not get beyond a few of them.
constexpr size_t kRefusalBound = 64 * 1024;

void patchBytes(const std::string& path, size_t offset, const void* bytes, size_t length) {
  std::string all = testing_support::readFile(path);
  ASSERT_LE(offset + length, all.size());
  std::memcpy(all.data() + offset, bytes, length);
  testing_support::writeFile(path, all);
}

void patchWord(const std::string& path, size_t offset, uint32_t value) { patchBytes(path, offset, &value, sizeof value); }

uint32_t wordAt(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}


// Offset of the block entry of `name` in a closed pack.
size_t blockEntryOffset(const std::string& path, const char* name) {
  AXP::PackFile pack;
  EXPECT_TRUE(pack.open(path.c_str(), true));
  const AXP::HashEntry* hash = nullptr;
  const AXP::BlockEntry* block = nullptr;
  EXPECT_TRUE(pack.getEntryRecords(name, &hash, &block));
  return hash == nullptr ? 0 : AXP::kBlockTableOffset + AXP::kRecordSize * hash->blockIndex();
}

TEST(ResourceBounds, PackHeadersClaimingMoreBlocksThanTheAreaHolds) {
  ScratchFolder folder;
  const std::string path = makeListedPack(folder, {{"a.txt", "abc"}});
  for (uint32_t claim : {0x80000000u, 0xFFFFFFFFu, AXP::kMaxBlockEntries + 1}) {
    patchWord(path, offsetof(AXP::PackHeader, blockCount), claim);
    AllocationProbe probe;
    AXP::PackFile pack;
    for (bool readOnly : {true, false}) {
      EXPECT_FALSE(pack.open(path.c_str(), readOnly)) << claim;
      EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData) << claim;
    }
    EXPECT_LE(probe.largest(), kPackBound) << claim;
  }
  // A claim of the whole area is read whole: exactly the bound.
  patchWord(path, offsetof(AXP::PackHeader, blockCount), AXP::kMaxBlockEntries);
  AllocationProbe probe;
  AXP::PackFile pack;
  EXPECT_FALSE(pack.open(path.c_str(), true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);  // the zero records lie before the data area
  EXPECT_LE(probe.largest(), kPackBound);
}

TEST(ResourceBounds, PackedFilesAndListRowsClaimingFourGigabytes) {
  ScratchFolder folder;
  const std::string path = makeListedPack(folder, {{"a.txt", "abc"}, {"b.txt", std::string(300, 'b')}});
  const std::string intact = testing_support::readFile(path);

  // The list's own block claims 4 GiB: the pack does not open.
  patchWord(path, blockEntryOffset(path, AXP::kListFileName) + offsetof(AXP::BlockEntry, size), 0xFFFFFF00u);
  {
    AllocationProbe probe;
    AXP::PackFile pack;
    EXPECT_FALSE(pack.open(path.c_str(), true));
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
    EXPECT_LE(probe.largest(), kPackBound);
  }

  // A row claims 4 GiB: checked against the file, never allocated.
  testing_support::writeFile(path, intact);
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    const std::string list = "FFFFFFFF\n1\na.txt|FFFFFFFF|00000000\n";
    ASSERT_TRUE(pack.insertContents(list.data(), static_cast<uint32_t>(list.size()), AXP::kListFileName, true, true));
  }
  AllocationProbe probe;
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), true));
    ASSERT_TRUE(pack.loadList());
    EXPECT_EQ(pack.list().files.at("a.txt").size, 0xFFFFFFFFu);
    EXPECT_FALSE(pack.checkIntegrity());
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
    EXPECT_STREQ(AXP::getLastErrorMessage(), "file=a.txt, sizedif(3!=-1)");
  }
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    EXPECT_TRUE(pack.repairFromList(folder.file("no-master.txt").c_str()));
    EXPECT_FALSE(pack.exists("a.txt"));  // it did not match its row
  }
  EXPECT_LE(probe.largest(), kPackBound);
}

TEST(ResourceBounds, ListsWithoutLineEndsAreReadInBoundedPieces) {
  ScratchFolder folder;
  const std::string path = makeListedPack(folder, {{"a.txt", "abc"}});
  // Beyond the preload limit, so read from the pack piece by piece.
  const std::string list = "FFFFFFFF\n1\n" + std::string(AXP::kPreloadLimit + 4096, 'x') + "|1|2";
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.insertContents(list.data(), static_cast<uint32_t>(list.size()), AXP::kListFileName, true, true));
  }
  AllocationProbe probe;
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), true));
    EXPECT_TRUE(pack.loadList());
    // Only the last piece of the long line holds the separators.
    EXPECT_EQ(pack.list().files.size(), 1u);
    EXPECT_FALSE(pack.verifyList());
    EXPECT_FALSE(pack.checkIntegrity());
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::ReadFailed);
  }
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    // The list does not verify and there is no master list to rebuild it.
    EXPECT_FALSE(pack.repairFromList(folder.file("no-master.txt").c_str()));
  }
  EXPECT_LE(probe.largest(), kPackBound);
}

// An LZMA entry: the 45-byte header claiming `unpackedSize`, then `stream`.
std::string lzmaEntry(uint32_t unpackedSize, uint32_t dictionary, const std::string& stream) {
  std::string entry(AXP::kLzmaHeaderSize, '\0');
  std::memcpy(entry.data(), "LZMA", 4);
  std::memcpy(entry.data() + AXP::kLzmaUnpackedSizeOffset, &unpackedSize, 4);
  entry[AXP::kLzmaPropertiesOffset] = 0x5D;
  std::memcpy(entry.data() + AXP::kLzmaPropertiesOffset + 1, &dictionary, 4);
  return entry + stream;
}

using AXP::UpdaterHandle;

UpdaterHandle openedPackage(const std::string& package) {
  UpdaterHandle updater(AXP::createUpdater());
  EXPECT_TRUE(updater->openPackage(package.c_str())) << AXP::getLastErrorMessage();
  return updater;
}

TEST(ResourceBounds, LzmaEntriesClaimingFourGigabytes) {
  ScratchFolder folder;
  const std::string package = folder.file("lzma.zip");
  ASSERT_TRUE(writePlainArchive(package, {{"big", lzmaEntry(0xFFFFFFFFu, 1u << 24, std::string(64, 'z'))},
                                          {"bound", lzmaEntry(AXP::kMaxLzmaUnpackedSize + 1, 1u << 24, "zz")}}));
  UpdaterHandle updater = openedPackage(package);
  for (const char* entry : {"big", "bound"}) {
    AllocationProbe probe;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_FALSE(updater->extractEntry(package.c_str(), entry, nullptr, &data, &size)) << entry;
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError) << entry;
    EXPECT_FALSE(updater->extractEntry(package.c_str(), entry, folder.file("out").c_str(), nullptr, &size)) << entry;
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::WriteFailed) << entry;
    EXPECT_LE(probe.largest(), kRefusalBound) << entry;
  }
}

TEST(ResourceBounds, AnLzmaDictionaryClaimIsNotReserved) {
  // A real stream whose header claims a 4 GiB dictionary: the coder needs
  // no more dictionary than the data it makes, and unpacks it.
  const std::string data = sampleBytes(5000, 7);
  const uint8_t* packed = nullptr;
  uint32_t packedSize = 0;
  ASSERT_TRUE(AXP::packLzma(data.data(), static_cast<uint32_t>(data.size()), &packed, &packedSize));
  std::string entry(reinterpret_cast<const char*>(packed), packedSize);
  const uint32_t dictionary = 0xFFFFFFFFu;
  std::memcpy(entry.data() + AXP::kLzmaPropertiesOffset + 1, &dictionary, 4);
  const uint8_t* out = nullptr;
  uint32_t outSize = 0;
  ASSERT_TRUE(AXP::unpackLzma(entry.data(), static_cast<uint32_t>(entry.size()), &out, &outSize))
      << AXP::getLastErrorMessage();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), outSize), data);
}

// Central directory and local header fields of the first entry.
constexpr size_t kLocalUnpackedSize = 22;
constexpr size_t kCentralUnpackedSize = 24;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kEndDirectorySize = 12;
constexpr size_t kEndDirectoryOffset = 16;

void claimUnpackedSize(const std::string& archive, uint32_t claim) {
  const std::string bytes = testing_support::readFile(archive);
  const size_t end = bytes.size() - kEndRecordSize;
  ASSERT_EQ(wordAt(bytes, end), 0x06054B50u);
  const size_t directory = wordAt(bytes, end + kEndDirectoryOffset);
  ASSERT_EQ(wordAt(bytes, directory), 0x02014B50u);
  patchWord(archive, directory + kCentralUnpackedSize, claim);
  patchWord(archive, kLocalUnpackedSize, claim);
}

bool writeDeflatedArchive(const std::string& path, const std::string& name, const std::string& data) {
  AXP::ArchiveHandle* archive = AXP::createArchive(path.c_str(), 0, AXP::kTargetPath);
  if (archive == nullptr) return false;
  const bool added = AXP::addToArchive(archive, name.c_str(), data.data(), static_cast<uint32_t>(data.size()),
                                       AXP::kSourceMemory, AXP::kMethodDeflate) == AXP::kZipSuccess;
  return AXP::closeArchive(archive) == AXP::kZipSuccess && added;
}

// The extraction buffers are shared and only grow, so this one runs before
// the claims below.
TEST(ResourceBounds, AnEntryExtractedToAFileNeedsNoMoreThanItsSize) {
  ScratchFolder folder;
  const std::string package = folder.file("deflated.zip");
  const std::string data(10000000, 'q');
  ASSERT_TRUE(writeDeflatedArchive(package, "big.dat", data));
  UpdaterHandle updater = openedPackage(package);
  uint32_t size = 0;
  {
    AllocationProbe probe;
    ASSERT_TRUE(updater->extractEntry(package.c_str(), "big.dat", folder.file("big.dat").c_str(), nullptr, &size))
        << AXP::getLastErrorMessage();
    EXPECT_LE(probe.largest(), data.size());
  }
  EXPECT_EQ(size, data.size());
  EXPECT_TRUE(testing_support::readFile(folder.file("big.dat")) == data);
}

TEST(ResourceBounds, ZipEntriesClaimingFourGigabytes) {
  ScratchFolder folder;
  // Stored: a few bytes. Deflated: 16 MiB of zeros, a few kilobytes packed.
  const std::string stored = folder.file("stored.zip");
  ASSERT_TRUE(writePlainArchive(stored, {{"claim", "tiny"}}));
  const std::string deflated = folder.file("deflated.zip");
  ASSERT_TRUE(writeDeflatedArchive(deflated, "claim", std::string(16u << 20, '\0')));
  for (uint32_t claim : {AXP::kMaxEntrySize + 1, 0xFFFFFFFFu}) {
    for (const std::string& archive : {stored, deflated}) {
      const std::string package = folder.file("claiming.zip");
      testing_support::writeFile(package, testing_support::readFile(archive));
      claimUnpackedSize(package, claim);
      UpdaterHandle updater = openedPackage(package);
      AllocationProbe probe;
      const uint8_t* data = nullptr;
      uint32_t size = 0;
      EXPECT_FALSE(updater->extractEntry(package.c_str(), "claim", nullptr, &data, &size)) << archive << claim;
      EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError) << archive << claim;
      testing_support::writeFile(folder.file("out"), "kept");
      EXPECT_FALSE(updater->extractEntry(package.c_str(), "claim", folder.file("out").c_str(), nullptr, &size))
          << archive << claim;
      EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError) << archive << claim;
      EXPECT_LE(probe.largest(), kRefusalBound) << archive << claim;
      // Refused before the target was touched.
      EXPECT_EQ(testing_support::readFile(folder.file("out")), "kept") << archive << claim;
    }
  }
}

TEST(ResourceBounds, ZipDirectoriesClaimingMoreThanTheFile) {
  ScratchFolder folder;
  const std::string package = folder.file("directory.zip");
  ASSERT_TRUE(writePlainArchive(package, {{"(command)", "0||a.txt\n"}, {"a.txt", "a"}}));
  const size_t end = testing_support::readFile(package).size() - kEndRecordSize;
  for (size_t field : {kEndDirectorySize, kEndDirectoryOffset}) {
    const std::string intact = testing_support::readFile(package);
    patchWord(package, end + field, 0x7FFFFFF0u);
    AXP::Updater* updater = AXP::createUpdater();
    EXPECT_FALSE(updater->openPackage(package.c_str())) << field;
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError) << field;
    AXP::destroyUpdater(updater);
    testing_support::writeFile(package, intact);
  }
}

TEST(ResourceBounds, CataloguesClaimingTwoBillionRows) {
  ScratchFolder folder;
  testing_support::writeFile(folder.file("(version)"), "1.0.0.1|2147483647\nreadme.txt|00000001|00000002|\n");
  AXP::PatchMaker* maker = AXP::createPatchMaker();
  ASSERT_NE(maker, nullptr);
  AllocationProbe probe;
  EXPECT_FALSE(maker->addVersion(folder.path().c_str(), nullptr));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
  // Rows are reserved for at most 65,536 records whatever the head says.
  EXPECT_LE(probe.largest(), (size_t{1} << 16) * sizeof(AXP::FileRecord));
  AXP::destroyPatchMaker(maker);
}

}  // namespace
}  // namespace crash_testing
