#include "axp/updater/updater.h"

#include <gtest/gtest.h>

#include <cstring>

#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "support/temp_dir.h"
#include "test_packages.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using updater_testing::lzmaPacked;
using updater_testing::PackageEntry;
using updater_testing::sampleBytes;
using updater_testing::sealPackage;
using updater_testing::UpdaterHandle;
using updater_testing::writePackage;

UpdaterHandle newUpdater() { return UpdaterHandle(AXP::createUpdater()); }

std::string extracted(AXP::Updater& updater, const std::string& package, const std::string& entry) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!updater.extractEntry(package.c_str(), entry.c_str(), nullptr, &data, &size)) return "<failed>";
  EXPECT_EQ(data[size], 0) << "data extracted to memory ends with a zero byte";
  return std::string(reinterpret_cast<const char*>(data), size);
}

TEST(Updater, StartsEmptyWithListsLeftToThePackage) {
  UpdaterHandle updater = newUpdater();
  EXPECT_EQ(updater->getOperationCount(), 0);
  EXPECT_FALSE(updater->getListMaintenance());
  updater->setListMaintenance(true);
  EXPECT_TRUE(updater->getListMaintenance());
  AXP::destroyUpdater(nullptr);
}

TEST(Updater, OpensPlainAndScrambledPackagesWithStoredAndPackedEntries) {
  TempDir folder;
  std::string big = sampleBytes(300000, 11, true);
  std::vector<PackageEntry> entries = {
      {"(command)", lzmaPacked("0||Data\\Big.bin\n0||small.txt\n1||gone.txt\n")},
      {"Data/Big.bin", lzmaPacked(big)},
      {"small.txt", "LZMA but only 33 bytes, so stored"},
      {"four.txt", "1234567890AB"},
  };
  std::string plain = folder.file("plain.zip");
  std::string scrambled = folder.file("scrambled.zip");
  ASSERT_TRUE(writePackage(plain, entries));
  ASSERT_TRUE(writePackage(scrambled, entries));
  ASSERT_TRUE(sealPackage(scrambled));

  UpdaterHandle updater = newUpdater();
  EXPECT_EQ(updater->selectIo(plain.c_str()), AXP::defaultPackageIo());
  EXPECT_EQ(updater->selectIo(scrambled.c_str()), AXP::scrambledIo());
  for (const std::string& package : {plain, scrambled}) {
    UpdaterHandle reader = newUpdater();
    ASSERT_TRUE(reader->openPackage(package.c_str())) << AXP::getLastErrorMessage();
    EXPECT_EQ(reader->getOperationCount(), 3);
    // Entry names are looked up ignoring case, with either slash.
    EXPECT_EQ(extracted(*reader, package, "data\\BIG.bin"), big);
    EXPECT_EQ(extracted(*reader, package, "small.txt"), "LZMA but only 33 bytes, so stored");
    EXPECT_EQ(extracted(*reader, package, "four.txt"), "1234567890AB");
    EXPECT_EQ(extracted(*reader, package, "absent.txt"), "");

    std::string target = folder.file("out/deeper/big.bin");
    uint32_t size = 0;
    ASSERT_TRUE(reader->extractEntry(package.c_str(), "Data/Big.bin", target.c_str(), nullptr, &size));
    EXPECT_EQ(size, big.size());
    EXPECT_EQ(readFile(target), big);
    writeFile(folder.file("out/empty.txt"), "old contents");
    ASSERT_TRUE(reader->extractEntry(package.c_str(), "absent", folder.file("out/empty.txt").c_str(),
                                     nullptr, &size));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(readFile(folder.file("out/empty.txt")), "");
  }
}

TEST(Updater, OpeningTheSamePackageTwiceReadsItsListOnce) {
  TempDir folder;
  std::string package = folder.file("Patch.zip");
  ASSERT_TRUE(writePackage(package, {{"(command)", "0||a.txt\n0||b.txt\n"}}));
  UpdaterHandle updater = newUpdater();
  ASSERT_TRUE(updater->openPackage(package.c_str()));
  std::string sameKey = folder.path() + "\\PATCH.ZIP";
  EXPECT_TRUE(updater->openPackage(sameKey.c_str()));
  EXPECT_EQ(updater->getOperationCount(), 2);
}

TEST(Updater, PackagesWithoutCommandsOpenEmpty) {
  TempDir folder;
  std::string empty = folder.file("empty.zip");
  std::string none = folder.file("none.zip");
  std::string packedEmpty = folder.file("packed-empty.zip");
  std::string noEntries = folder.file("no-entries.zip");
  ASSERT_TRUE(writePackage(empty, {{"(command)", ""}}));
  ASSERT_TRUE(writePackage(none, {{"readme.txt", "hello"}}));
  ASSERT_TRUE(writePackage(packedEmpty, {{"(COMMAND)", lzmaPacked("\r\n\r\n")}}));
  ASSERT_TRUE(writePackage(noEntries, {}));
  for (const std::string& package : {empty, none, packedEmpty, noEntries}) {
    UpdaterHandle updater = newUpdater();
    EXPECT_TRUE(updater->openPackage(package.c_str())) << package;
    EXPECT_EQ(updater->getOperationCount(), 0) << package;
  }
}

TEST(Updater, LaterPackagesOverrideEarlierOnesForTheSameTarget) {
  TempDir folder;
  std::string first = folder.file("first.zip");
  std::string second = folder.file("second.zip");
  ASSERT_TRUE(writePackage(first, {{"(command)", "0||a.txt\n0||b.txt\n"}, {"a.txt", "A1"}, {"b.txt", "B1"}}));
  ASSERT_TRUE(writePackage(second, {{"(command)", lzmaPacked("0||A.TXT\n0||c.txt\n")}, {"a.txt", "A2"}}));
  ASSERT_TRUE(sealPackage(second));
  UpdaterHandle updater = newUpdater();
  ASSERT_TRUE(updater->openPackage(first.c_str()));
  ASSERT_TRUE(updater->openPackage(second.c_str()));
  EXPECT_EQ(updater->getOperationCount(), 3);
  const AXP::CommandMap& loose = updater->commands().looseCommands;
  EXPECT_EQ(loose.at("a.txt").package, second);
  EXPECT_EQ(loose.at("a.txt").name, "A.TXT");
  EXPECT_EQ(loose.at("b.txt").package, first);
  EXPECT_EQ(extracted(*updater, loose.at("a.txt").package, "a.txt"), "A2");
  EXPECT_EQ(extracted(*updater, loose.at("b.txt").package, "b.txt"), "B1");
}

TEST(Updater, OpenAndExtractFailures) {
  TempDir folder;
  UpdaterHandle updater = newUpdater();
  EXPECT_FALSE(updater->openPackage(""));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);

  std::string missing = folder.file("missing.zip");
  EXPECT_FALSE(updater->openPackage(missing.c_str()));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("ziperr=-", 0), 0u)
      << AXP::getLastErrorMessage();

  const uint8_t* data = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(updater->extractEntry(missing.c_str(), "a.txt", nullptr, &data, &size));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), missing + " not inserted");

  // A truncated LZMA entry: the extraction reports in its own terms.
  std::string package = folder.file("damaged.zip");
  std::string entry = lzmaPacked(sampleBytes(40000, 12, true));
  ASSERT_TRUE(writePackage(package, {{"(command)", ""}, {"cut.bin", entry.substr(0, entry.size() - 100)}}));
  ASSERT_TRUE(updater->openPackage(package.c_str()));
  EXPECT_FALSE(updater->extractEntry(package.c_str(), "cut.bin", nullptr, &data, &size));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("ziperr=", 0), 0u);
  std::string target = folder.file("cut.bin");
  EXPECT_FALSE(updater->extractEntry(package.c_str(), "cut.bin", target.c_str(), nullptr, &size));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::WriteFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("File=" + target + ", WinErr: ", 0), 0u);

  // A damaged command list adds no commands.
  std::string badList = folder.file("bad-list.zip");
  ASSERT_TRUE(writePackage(badList, {{"(command)", lzmaPacked("0||a.txt\n").substr(0, 48)}}));
  EXPECT_FALSE(updater->openPackage(badList.c_str()));
  EXPECT_EQ(updater->getOperationCount(), 0);
}

TEST(Updater, AnEntryTheArchiveListsButCannotOpenIsAFailure) {
  if (!updater_testing::havePython()) GTEST_SKIP() << "python3 is not installed";
  TempDir folder;
  std::string package = folder.file("bzip2.zip");
  ASSERT_TRUE(updater_testing::runPython(
      "import zipfile\n"
      "with zipfile.ZipFile('" + package + "', 'w') as z:\n"
      "    z.writestr('(command)', '0||odd.txt\\n0||deflated.txt\\n', zipfile.ZIP_DEFLATED)\n"
      "    z.writestr('deflated.txt', 'squeezed ' * 1000, zipfile.ZIP_DEFLATED)\n"
      "    z.writestr('odd.txt', 'method the reader lacks', zipfile.ZIP_BZIP2)\n"));
  UpdaterHandle updater = newUpdater();
  ASSERT_TRUE(updater->openPackage(package.c_str())) << AXP::getLastErrorMessage();
  EXPECT_EQ(updater->getOperationCount(), 2);
  std::string squeezed;
  for (int i = 0; i < 1000; ++i) squeezed += "squeezed ";
  EXPECT_EQ(extracted(*updater, package, "deflated.txt"), squeezed);

  const uint8_t* data = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(updater->extractEntry(package.c_str(), "odd.txt", nullptr, &data, &size));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("ziperr=", 0), 0u);
}

TEST(Updater, ChecksumsAndSealing) {
  TempDir folder;
  std::string source = folder.file("source.zip");
  std::string target = folder.file("sealed.zip");
  ASSERT_TRUE(writePackage(source, {{"(command)", "0||a.txt\n"}, {"a.txt", "contents"}}));
  std::string plainBytes = readFile(source);

  UpdaterHandle updater = newUpdater();
  EXPECT_FALSE(updater->verifyChecksum(""));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);

  ASSERT_TRUE(updater->copyAndSeal(source.c_str(), target.c_str()));
  EXPECT_EQ(readFile(source), plainBytes);
  EXPECT_TRUE(updater->verifyChecksum(target.c_str()));
  EXPECT_EQ(updater->selectIo(target.c_str()), AXP::scrambledIo());
  uint32_t whole = 0, withoutTrailer = 0;
  ASSERT_TRUE(updater->computeChecksum(target.c_str(), &whole, false));
  ASSERT_TRUE(updater->computeChecksum(target.c_str(), &withoutTrailer, true));
  std::string sealed = readFile(target);
  ASSERT_EQ(sealed.size(), plainBytes.size() + 4);
  uint32_t trailer = 0;
  std::memcpy(&trailer, sealed.data() + sealed.size() - 4, 4);
  EXPECT_EQ(trailer, withoutTrailer);
  EXPECT_NE(whole, withoutTrailer);
  {
    // A reader of its own, released before the package is replaced: Windows
    // replaces no file that is open.
    UpdaterHandle reader = newUpdater();
    ASSERT_TRUE(reader->openPackage(target.c_str()));
    EXPECT_EQ(extracted(*reader, target, "a.txt"), "contents");
  }

  // Sealing a sealed package in place descrambles it and seals it again.
  ASSERT_TRUE(updater->copyAndSeal(target.c_str(), target.c_str()));
  EXPECT_EQ(readFile(target).substr(0, plainBytes.size()), plainBytes);
  EXPECT_TRUE(updater->verifyChecksum(target.c_str()));

  sealed = readFile(target);
  sealed[10] = static_cast<char>(sealed[10] ^ 1);
  writeFile(target, sealed);
  EXPECT_FALSE(updater->verifyChecksum(target.c_str()));
}

}  // namespace
