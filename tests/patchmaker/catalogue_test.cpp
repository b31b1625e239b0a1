// Registering version folders: the "(version)" catalogue a scan writes, and
// reading it back with every check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/updater/command_list.h"
#include "support/temp_dir.h"
#include "version_fixture.h"

namespace {

using patchmaker_testing::buildPack;
using patchmaker_testing::expectFailure;
using patchmaker_testing::readPacked;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

std::string entryLine(const std::string& name, const std::string& bytes, const std::string& pack) {
  char line[1100];
  std::snprintf(line, sizeof line, "%s|%08X|%08X|%s", name.c_str(), static_cast<unsigned>(bytes.size()),
                AXP::crcBuffer(bytes.data(), bytes.size()), pack.c_str());
  return line;
}

std::vector<std::string> catalogueLines(const std::string& folder) {
  std::vector<std::string> lines;
  AXP::splitString(readFile(folder + "/(version)"), &lines, "\n", false, true);
  return lines;
}

using Maker = AXP::PatchMakerHandle;

Maker newMaker() { return Maker(AXP::createPatchMaker()); }

TEST(CatalogueTest, ScanListsLooseFilesAndEveryFileInsidePacksButNoDotNames) {
  TempDir dir;
  const std::string folder = dir.file("v1");
  writeFile(folder + "/Readme.txt", "hello");
  writeFile(folder + "/Data/Config.ini", "a=1");
  writeFile(folder + "/.hidden", "x");
  writeFile(folder + "/.svn/entries", "y");
  buildPack(folder + "/Data/Main.axp", {{"Textures\\Sky.DDS", "sky"}, {"empty.bin", ""}});
  writeFile(folder + "/(version)", "stale catalogue that the scan replaces\n");

  Maker maker = newMaker();
  ASSERT_TRUE(maker->addVersion(folder.c_str(), "1.0.2.7")) << AXP::getLastErrorMessage();
  EXPECT_STREQ(maker->getVersion(folder.c_str()), "1.0.2.7");

  const std::string list = readPacked(folder + "/Data/Main.axp", "(list)");
  const std::vector<std::string> lines = catalogueLines(folder);
  const std::string sky = entryLine("Textures\\Sky.DDS", "sky", "Data\\Main.axp");
  const std::string empty = entryLine("empty.bin", "", "Data\\Main.axp");
  const std::string listRow = entryLine("(list)", list, "Data\\Main.axp");
  const std::set<std::string> expectedRows = {
      entryLine("Readme.txt", "hello", ""), entryLine("Data\\Config.ini", "a=1", ""), sky, empty, listRow};
  ASSERT_EQ(lines.size(), expectedRows.size() + 1);
  EXPECT_EQ(readFile(folder + "/(version)").back(), '\n');
  EXPECT_EQ(lines[0], "1.0.2.7|5");
  EXPECT_EQ(std::set<std::string>(lines.begin() + 1, lines.end()), expectedRows);
  // A pack's rows come in its list's order, the list's own row after them.
  const auto listAt = std::find(lines.begin(), lines.end(), listRow);
  ASSERT_GE(listAt - lines.begin(), 3);
  EXPECT_EQ(*(listAt - 2), sky);
  EXPECT_EQ(*(listAt - 1), empty);

  // Registering without a version reads the same records back.
  Maker reader = newMaker();
  ASSERT_TRUE(reader->addVersion(folder.c_str(), nullptr)) << AXP::getLastErrorMessage();
  const AXP::VersionRecord* scanned = maker->findVersion(folder.c_str());
  const AXP::VersionRecord* read = reader->findVersion(folder.c_str());
  ASSERT_NE(scanned, nullptr);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->version, "1.0.2.7");
  EXPECT_EQ(read->packKeys, std::set<std::string>{"data/main.axp"});
  EXPECT_EQ(scanned->packKeys, read->packKeys);
  ASSERT_EQ(read->files.size(), scanned->files.size());
  for (size_t i = 0; i < read->files.size(); ++i) {
    EXPECT_EQ(read->files[i].name, scanned->files[i].name);
    EXPECT_EQ(read->files[i].size, scanned->files[i].size);
    EXPECT_EQ(read->files[i].crc, scanned->files[i].crc);
    EXPECT_EQ(read->files[i].pack, scanned->files[i].pack);
  }
}

TEST(CatalogueTest, RegisteringAgainReplacesTheRecordAndAFailedRegistrationDropsIt) {
  TempDir dir;
  const std::string folder = dir.file("v");
  writeFile(folder + "/a.txt", "a");
  Maker maker = newMaker();
  ASSERT_TRUE(maker->addVersion(folder.c_str(), "1.0"));
  writeFile(folder + "/b.txt", "b");
  ASSERT_TRUE(maker->addVersion(folder.c_str(), "2.0"));
  EXPECT_STREQ(maker->getVersion(folder.c_str()), "2.0");
  EXPECT_EQ(maker->findVersion(folder.c_str())->files.size(), 2u);

  // The folder key ignores letter case and the slash direction.
  std::string otherSpelling = folder;
  std::replace(otherSpelling.begin(), otherSpelling.end(), '/', '\\');
  std::transform(otherSpelling.begin(), otherSpelling.end(), otherSpelling.begin(), ::toupper);
  EXPECT_STREQ(maker->getVersion(otherSpelling.c_str()), "2.0");

  writeFile(folder + "/(version)", readFile(folder + "/(version)") + "\n");
  expectFailure(maker->addVersion(folder.c_str(), ""), AXP::BadData, folder + "/(version)");
  EXPECT_STREQ(maker->getVersion(folder.c_str()), "");
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::VersionNotFound);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), folder);
}

TEST(CatalogueTest, ReadingRefusesDamagedCataloguesWithCode2) {
  const std::vector<std::string> damaged = {
      "1.0|1\n\n",                                          // an empty line
      "1.0|2\na|00000001|00000002|\n",                      // fewer lines than announced
      "1.0|0\na|00000001|00000002|\n",                      // more lines than announced
      "1.0|1\na|00000001|00000002\n",                       // three fields
      "1.0|1\na|00000001|00000002||x\n",                    // five fields
      "1.0|1|x\na|00000001|00000002|\n",                    // first line of three fields
      "1.0\n",                                              // first line of one field
      "1.0|1\na|0000000G|00000002|\n",                      // size not hexadecimal
      "1.0|1\na|00000001||\n",                              // checksum missing
      "1.0|1\na|00000001|00000002|\n\r\n",                  // a line of line ends only
      "",                                                   // nothing at all
  };
  TempDir dir;
  const std::string folder = dir.file("v");
  for (const std::string& text : damaged) {
    writeFile(folder + "/(version)", text);
    Maker maker = newMaker();
    expectFailure(maker->addVersion(folder.c_str(), nullptr), AXP::BadData, folder + "/(version)");
  }

  // Carriage returns before the line feeds and a last line without one are
  // read like any other line.
  writeFile(folder + "/(version)", "3.1|2\r\nData\\a.dds|0000000A|DEADBEEF|Data\\Main.AXP\r\nb.txt|1|ff|");
  Maker maker = newMaker();
  ASSERT_TRUE(maker->addVersion(folder.c_str(), nullptr)) << AXP::getLastErrorMessage();
  const AXP::VersionRecord* record = maker->findVersion(folder.c_str());
  ASSERT_EQ(record->files.size(), 2u);
  EXPECT_EQ(record->version, "3.1");
  EXPECT_EQ(record->files[0].name, "Data\\a.dds");
  EXPECT_EQ(record->files[0].size, 10u);
  EXPECT_EQ(record->files[0].crc, 0xDEADBEEFu);
  EXPECT_EQ(record->files[0].pack, "Data\\Main.AXP");
  EXPECT_EQ(record->files[1].crc, 0xFFu);
  EXPECT_EQ(record->packKeys, std::set<std::string>{"data/main.axp"});
}

TEST(CatalogueTest, ScanRefusesPacksWithoutAWellFormedList) {
  TempDir dir;
  const std::string folder = dir.file("v");
  const std::string packPath = folder + "/Data/Bad.axp";
  const std::vector<std::string> badLists = {
      "FFFFFFFF\n1\na|00000001\n",                  // two fields
      "FFFFFFFF\n1\na|00000001|00000002|x\n",       // four fields
      "FFFFFFFF\n1\na|00000001|nothex!!\n",         // checksum not hexadecimal
  };
  for (const std::string& list : badLists) {
    std::filesystem::remove_all(folder);
    {
      std::filesystem::create_directories(folder + "/Data");
      AXP::PackFile pack;
      ASSERT_TRUE(pack.create(packPath.c_str()));
      ASSERT_TRUE(pack.insertContents(list.data(), static_cast<uint32_t>(list.size()), "(list)", true, true));
    }
    Maker maker = newMaker();
    expectFailure(maker->addVersion(folder.c_str(), "1"), AXP::BadData, packPath);
    EXPECT_EQ(maker->getVersion(folder.c_str()), std::string());
  }

  std::filesystem::remove_all(folder);
  {
    std::filesystem::create_directories(folder + "/Data");
    AXP::PackFile pack;
    ASSERT_TRUE(pack.create(packPath.c_str()));
  }
  Maker maker = newMaker();
  expectFailure(maker->addVersion(folder.c_str(), "1"), AXP::NotFound, "(list) in " + packPath);

  // A pack still marked as being edited cannot be opened read-only.
  buildPack(packPath, {{"a", "1"}});
  const uint32_t editing = 1;
  std::string bytes = readFile(packPath);
  std::memcpy(bytes.data() + 8, &editing, sizeof editing);
  writeFile(packPath, bytes);
  expectFailure(maker->addVersion(folder.c_str(), "1"), AXP::PackInEdit);
}

// Names that would leave the installation never reach a package: the
// catalogue reader and the scan of a pack's list refuse them with the line
// they stand on, and the builder refuses a plan that carries one.
TEST(CatalogueTest, NamesThatLeaveTheInstallationAreRefusedWithTheirLine) {
  TempDir dir;
  const std::string folder = dir.file("v");
  const std::string catalogue = folder + "/(version)";
  for (const std::string name : {"/etc/passwd", "../../x", "a/../../x", "C:\\x", "\\x"}) {
    for (const std::string& row : {name + "|00000001|00000002|", "a.txt|00000001|00000002|" + name}) {
      writeFile(catalogue, "1.0|2\nok.txt|00000001|00000002|\n" + row + "\n");
      Maker maker = newMaker();
      expectFailure(maker->addVersion(folder.c_str(), nullptr), AXP::BadData,
                    catalogue + "(line 3: " + name + " leaves the installation)");
    }
  }

  std::filesystem::remove(catalogue);
  const std::string packPath = folder + "/p.axp";
  const std::string list = "FFFFFFFD\n1\n../../x|00000001|00000002\n";
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.create(packPath.c_str()));
    ASSERT_TRUE(pack.insertContents(list.data(), static_cast<uint32_t>(list.size()), "(list)", true, true));
  }
  Maker maker = newMaker();
  expectFailure(maker->addVersion(folder.c_str(), "1"), AXP::BadData,
                packPath + "(line 3: ../../x leaves the installation)");

  std::filesystem::remove(packPath);
  writeFile(folder + "/a.txt", "a");
  const std::string package = dir.file("out.pkg");
  const AXP::PatchPlan plan = {{AXP::kOpAddOrReplace, "", "../a.txt", folder, std::nullopt}};
  expectFailure(maker->writePackage(plan, package.c_str()), AXP::BadArgument, "../a.txt");
  EXPECT_FALSE(std::filesystem::exists(package));
}

TEST(CatalogueTest, RegistrationFailuresCarryTheirCodes) {
  TempDir dir;
  Maker maker = newMaker();
  expectFailure(maker->addVersion(nullptr, "1"), AXP::BadArgument, "");
  expectFailure(maker->addVersion("", "1"), AXP::BadArgument, "");
  EXPECT_EQ(maker->getVersion(nullptr), nullptr);
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);

  // A folder that does not exist fails at the catalogue's deletion when
  // scanning, and as a missing catalogue when reading.
  const std::string missing = dir.file("missing");
  expectFailure(maker->addVersion(missing.c_str(), "1"), AXP::OpenFailed, missing + "/(version)");
  EXPECT_FALSE(std::filesystem::exists(missing));
  const std::string empty = dir.file("empty");
  std::filesystem::create_directories(empty);
  expectFailure(maker->addVersion(empty.c_str(), nullptr), AXP::NotFound, empty + "/(version)");

  // A version text that would break the catalogue's first line.
  expectFailure(maker->addVersion(empty.c_str(), "1|2"), AXP::BadArgument);
  expectFailure(maker->addVersion(empty.c_str(), std::string(300, '9').c_str()), AXP::BadArgument);
  EXPECT_FALSE(std::filesystem::exists(empty + "/(version)"));

  ASSERT_TRUE(maker->addVersion(empty.c_str(), "1"));

  // A path beyond the 259-byte limit.
  std::string deep = empty;
  while (deep.size() < 250) deep += "/folder";
  writeFile(deep + "/some-long-file-name.txt", "x");
  expectFailure(maker->addVersion(empty.c_str(), "1"), AXP::BadArgument);

  EXPECT_FALSE(maker->reservedOperation("a", "b"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);  // unchanged since the last failure
  AXP::reportError(0, "");
  EXPECT_FALSE(maker->reservedOperation("a", "b"));
  EXPECT_EQ(AXP::getLastErrorCode(), 0);
  expectFailure(maker->reservedOperation("a", ""), AXP::BadArgument, "");
}

}  // namespace
