#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <tuple>

#include "axp/common/error_record.h"
#include "axp/updater/entry_extractor.h"
#include "package_samples.h"
#include "platform/env.h"
#include "platform/system.h"
#include "support/fault_env.h"
#include "support/temp_dir.h"
#include "support/zip_layout.h"
#include "test_packages.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using updater_testing::lzmaPacked;
using updater_testing::makePack;
using updater_testing::packedFile;
using updater_testing::PackageEntry;
using updater_testing::PackHandle;
using updater_testing::sampleBytes;
using updater_testing::sealPackage;
using updater_testing::UpdaterHandle;
using updater_testing::writePackage;

// The callback has no context argument, so the calls are gathered here.
using Call = std::tuple<std::string, std::string, int>;
std::vector<Call> calls;
void record(const char* pack, const char* name, int32_t op) { calls.emplace_back(pack, name, op); }

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// Builds a sealed package from `commands` and `entries` and opens it.
UpdaterHandle openedUpdater(const TempDir& folder, const std::string& commands,
                            std::vector<PackageEntry> entries, bool maintainLists = false) {
  UpdaterHandle updater = updater_testing::openedPatch(folder.file("patch.zip"), commands, std::move(entries),
                                                       maintainLists);
  calls.clear();
  return updater;
}

TEST(Apply, UpdatesAnInstallationWithTwoPacksAndKeepsTheirListsSound) {
  TempDir folder;
  std::string install = folder.file("game");
  std::string newPack = folder.file("built/c.axp");
  std::string changed = sampleBytes(70000, 21, true);
  ASSERT_TRUE(makePack(install + "/data/a.axp",
                       {{"keep.txt", "kept"}, {"old.txt", "old"}, {"change.dds", "first"}}));
  ASSERT_TRUE(makePack(install + "/data/b.axp", {{"x.bin", sampleBytes(3000, 22, false)}}));
  ASSERT_TRUE(makePack(newPack, {{"inner.txt", "inside the new pack"}}));
  writeFile(install + "/readme.txt", "old readme");
  writeFile(install + "/obsolete.txt", "bye");
  writeFile(install + "/(version)", "1.0");

  UpdaterHandle updater = openedUpdater(
      folder,
      "0||Data\\C.axp\n"
      "1|data\\a.axp|old.txt\n0|data\\a.axp|change.dds\n0|data\\a.axp|Sub\\new.txt\n"
      "0|data\\a.axp|empty.txt\n1|data\\a.axp|never-there.txt\n"
      "0|Data\\B.AXP|(list)\n0|data\\b.axp|y.bin\n2|data\\b.axp|z\n"
      "0|data\\c.axp|added.txt\n"
      "0||(version)\n0||readme.txt\n1||obsolete.txt\n1||missing.txt\n0||New\\Dir\\file.txt\n",
      {{"Data/C.axp", readFile(newPack)},
       {"data/a.axp/change.dds", changed},
       {"data/a.axp/Sub/new.txt", "new inside"},
       {"Data/B.AXP/(list)", "a list that must not replace the pack's own"},
       {"data/b.axp/y.bin", "why"},
       {"data/c.axp/added.txt", "added to the replaced pack"},
       {"(version)", "2.0"},
       {"readme.txt", "new readme"},
       {"New/Dir/file.txt", "deep"}},
      true);
  EXPECT_EQ(updater->getOperationCount(), 14);  // the "(list)" line is dropped

  ASSERT_TRUE(updater->apply(install.c_str(), record)) << AXP::getLastErrorMessage();

  std::vector<Call> expected = {
      {"", "Data\\C.axp", 0},
      {"data\\a.axp", "never-there.txt", 1}, {"data\\a.axp", "old.txt", 1},
      {"data\\a.axp", "change.dds", 0}, {"data\\a.axp", "empty.txt", 0},
      {"data\\a.axp", "Sub\\new.txt", 0},
      {"data\\b.axp", "y.bin", 0},
      {"data\\c.axp", "added.txt", 0},
      {"", "missing.txt", 1}, {"", "New\\Dir\\file.txt", 0}, {"", "obsolete.txt", 1},
      {"", "readme.txt", 0},
      {"", "(version)", 0}};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(readFile(install + "/readme.txt"), "new readme");
  EXPECT_EQ(readFile(install + "/New/Dir/file.txt"), "deep");
  EXPECT_EQ(readFile(install + "/(version)"), "2.0");
  EXPECT_FALSE(exists(install + "/obsolete.txt"));

  std::map<std::string, std::map<std::string, std::string>> expectedPacks = {
      {"a.axp", {{"keep.txt", "kept"}, {"old.txt", "<absent>"}, {"change.dds", changed},
                 {"Sub\\new.txt", "new inside"}, {"empty.txt", ""}}},
      {"b.axp", {{"y.bin", "why"}, {"z", "<absent>"}}},
      {"c.axp", {{"inner.txt", "inside the new pack"}, {"added.txt", "added to the replaced pack"}}}};
  for (const auto& [packName, files] : expectedPacks) {
    PackHandle pack(axpCreatePakFile());
    ASSERT_TRUE(pack->open((install + "/data/" + packName).c_str(), true)) << packName;
    EXPECT_TRUE(pack->checkIntegrity()) << packName << ": " << AXP::getLastErrorMessage();
    for (const auto& [name, data] : files) EXPECT_EQ(packedFile(pack.get(), name), data) << name;
  }
}

TEST(Apply, AnEmptyModelSucceedsWithoutCallbacks) {
  UpdaterHandle updater(AXP::createUpdater());
  TempDir folder;
  calls.clear();
  EXPECT_TRUE(updater->apply(folder.path().c_str(), record));
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(updater->apply("", record));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
}

TEST(Apply, AFailureInThePacksLeavesTheLooseFilesUndone) {
  TempDir folder;
  std::string install = folder.file("game");
  writeFile(install + "/(version)", "1.0");
  UpdaterHandle updater = openedUpdater(folder, "0|data\\missing.axp|x\n0||(version)\n0||a.txt\n",
                                        {{"data/missing.axp/x", "x"}, {"(version)", "2.0"}, {"a.txt", "a"}});
  EXPECT_FALSE(updater->apply(install.c_str(), record));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("File=", 0), 0u);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(readFile(install + "/(version)"), "1.0");
  EXPECT_FALSE(exists(install + "/a.txt"));
}

TEST(Apply, ALooseFileThatCannotBeWrittenStopsTheApply) {
  TempDir folder;
  std::string install = folder.file("game");
  // A folder where the file should go cannot be replaced by a file, for any
  // user (a read-only file can be, by the superuser).
  std::filesystem::create_directories(install + "/blocked.txt");
  writeFile(install + "/(version)", "1.0");
  UpdaterHandle updater = openedUpdater(folder, "0||blocked.txt\n0||(version)\n0||z.txt\n",
                                        {{"blocked.txt", "b"}, {"(version)", "2.0"}, {"z.txt", "z"}});
  EXPECT_FALSE(updater->apply(install.c_str(), record));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  std::string target = install + "/blocked.txt";
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("File=" + target + ", WinErr=", 0), 0u)
      << AXP::getLastErrorMessage();
  EXPECT_EQ(calls, (std::vector<Call>{{"", "blocked.txt", 0}}));
  EXPECT_EQ(readFile(install + "/(version)"), "1.0");
  EXPECT_FALSE(exists(install + "/z.txt"));
}

// A read-only target is refused for every user, the superuser included, as
// the read-only attribute refuses it on Windows.
TEST(Apply, AReadOnlyLooseTargetStopsTheApply) {
  TempDir folder;
  std::string install = folder.file("game");
  std::string target = install + "/locked.txt";
  writeFile(target, "old");
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  UpdaterHandle updater = openedUpdater(folder, "0||locked.txt\n", {{"locked.txt", "new"}});
  EXPECT_FALSE(updater->apply(install.c_str(), record));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()).rfind("File=" + target + ", WinErr=", 0), 0u)
      << AXP::getLastErrorMessage();
  EXPECT_EQ(readFile(target), "old");
}

// A pack's list that cannot be saved after its edits is stale: the apply
// fails with the saving's report instead of claiming success.
TEST(Apply, AListThatCannotBeSavedFailsTheApply) {
  TempDir folder;
  std::string install = folder.file("game");
  ASSERT_TRUE(makePack(install + "/p.axp", {{"a.txt", "a"}}));
  UpdaterHandle updater = openedUpdater(folder, "0|p.axp|b.txt\n", {{"p.axp/b.txt", "b"}}, true);
  // The list's rows are the one write that fails, as on a full disk.
  testing_support::FaultEnv env;
  platform::ScopedEnv inUse(&env);
  env.failWritesOf([](const void* bytes, uint32_t length) {
    return std::string(static_cast<const char*>(bytes), length).find("b.txt|00000001|") != std::string::npos;
  });
  EXPECT_FALSE(updater->apply(install.c_str(), record));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::WriteFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "winErr: " + std::to_string(platform::systemError(platform::ErrorKind::NoSpace)));
}

TEST(Apply, AnUnknownLooseCodeFailsAtItsTurn) {
  TempDir folder;
  std::string install = folder.file("game");
  UpdaterHandle updater = openedUpdater(folder, "0||a.txt\n5||b.txt\n0||c.txt\n", {{"a.txt", "a"}, {"c.txt", "c"}});
  EXPECT_FALSE(updater->apply(install.c_str(), record));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "");
  EXPECT_EQ(calls, (std::vector<Call>{{"", "a.txt", 0}, {"", "b.txt", 5}}));
  EXPECT_EQ(readFile(install + "/a.txt"), "a");
  EXPECT_FALSE(exists(install + "/c.txt"));
}

TEST(Apply, TargetsOutsideTheInstallationRefuseTheWholeApply) {
  TempDir folder;
  std::string install = folder.file("game");
  std::string victim = folder.file("victim.txt");
  std::string outside = folder.file("outside.txt");
  std::filesystem::create_directories(install);
  ASSERT_TRUE(makePack(install + "/p.axp", {{"a", "a"}}));
  std::string longName(260 - install.size(), 'n');
  std::vector<std::pair<std::string, int32_t>> lines = {
      {"0||../outside.txt", AXP::BadArgument},     {"0||..\\outside.txt", AXP::BadArgument},
      {"1||sub/../../victim.txt", AXP::BadArgument}, {"0||" + outside, AXP::BadArgument},
      {"0||\\outside.txt", AXP::BadArgument},      {"0||C:outside.txt", AXP::BadArgument},
      {"0||C:\\outside.txt", AXP::BadArgument},    {"0|../p.axp|a", AXP::BadArgument},
      {"1|..\\..\\p.axp|a", AXP::BadArgument},     {"0||" + longName, AXP::BadArgument},
  };
  for (const auto& [line, code] : lines) {
    writeFile(victim, "still here");
    UpdaterHandle updater =
        openedUpdater(folder, "0||fine.txt\n1|p.axp|a\n" + line + "\n", {{"fine.txt", "f"}});
    EXPECT_FALSE(updater->apply(install.c_str(), record)) << line;
    EXPECT_EQ(AXP::getLastErrorCode(), code) << line;
    std::string offending = line.substr(line.rfind('|') + 1);
    if (line.find("p.axp") != std::string::npos) offending = line.substr(2, line.rfind('|') - 2);
    if (line.find(longName) == std::string::npos) {
      EXPECT_EQ(AXP::getLastErrorMessage(), offending) << line;
    }
    EXPECT_TRUE(calls.empty()) << line;
    EXPECT_FALSE(exists(install + "/fine.txt")) << line;
    EXPECT_FALSE(exists(outside)) << line;
    EXPECT_EQ(readFile(victim), "still here") << line;
  }
  PackHandle pack(axpCreatePakFile());
  ASSERT_TRUE(pack->open((install + "/p.axp").c_str(), true));
  EXPECT_EQ(packedFile(pack.get(), "a"), "a");
}

// A package damaged before it was sealed carries a valid trailer: only the
// entry's CRC-32 tells. The damaged entry is refused before its target is
// touched, whether it goes to a loose file or into a pack.
TEST(Apply, AnEntryDamagedBeforeSealingFailsAndLeavesItsTargetAlone) {
  for (const std::string command : {"0||a.txt", "0|data/a.axp|a.txt"}) {
    TempDir folder;
    const std::string install = folder.file("game");
    ASSERT_TRUE(makePack(install + "/data/a.axp", {{"a.txt", "old packed bytes"}}));
    writeFile(install + "/a.txt", "old loose bytes");
    const std::string entryName = command == "0||a.txt" ? "a.txt" : "data/a.axp/a.txt";
    const std::string package = folder.file("patch.zip");
    ASSERT_TRUE(writePackage(package, {{"(command)", lzmaPacked(command + "\n")},
                                       {entryName, lzmaPacked(sampleBytes(5000, 31, true))}}));
    std::string archive = readFile(package);
    const testing_support::ZipLayout layout = testing_support::zipLayout(archive);
    archive[layout.dataBegin[1] + 100] ^= 0x04;
    writeFile(package, archive);
    ASSERT_TRUE(sealPackage(package));

    UpdaterHandle updater(AXP::createUpdater());
    ASSERT_TRUE(updater->verifyChecksum(package.c_str()));
    ASSERT_TRUE(updater->openPackage(package.c_str())) << AXP::getLastErrorMessage();
    EXPECT_FALSE(updater->apply(install.c_str(), nullptr)) << command;
    EXPECT_EQ(AXP::getLastErrorCode(), AXP::LibraryError) << command;
    EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "ziperr=-4127") << command;
    EXPECT_EQ(readFile(install + "/a.txt"), "old loose bytes") << command;
    PackHandle pack(axpCreatePakFile());
    ASSERT_TRUE(pack->open((install + "/data/a.axp").c_str(), true));
    EXPECT_EQ(packedFile(pack.get(), "a.txt"), "old packed bytes") << command;
  }
}

// Entries are read ahead of their turn, but written in it: a damaged one
// stops the apply where it stands in the order, with its own report, and
// leaves what came before it written and what comes after it alone.
TEST(Apply, EntriesReadAheadAreWrittenInTheirTurn) {
  std::vector<PackageEntry> entries;
  std::string commands;
  std::map<std::string, std::string> expected;
  for (int i = 0; i < 8; ++i) {
    const bool packed = i < 4;
    const std::string name = "f" + std::to_string(i) + ".bin";
    commands += packed ? "0|data/a.axp|" + name + "\n" : "0||" + name + "\n";
    // A stored entry for a pack and one for a loose file among the packed
    // ones; the pack's holds no zero byte, so that nothing reads it as text.
    const bool stored = i == 1 || i == 5;
    expected[name] = i == 1 ? std::string(10000, 's') : sampleBytes(3000 + 7919 * i, i, i % 2 == 0);
    entries.push_back({packed ? "data/a.axp/" + name : name, stored ? expected[name] : lzmaPacked(expected[name])});
  }
  entries.insert(entries.begin(), {"(command)", lzmaPacked(commands)});
  TempDir folder;
  const std::string package = folder.file("patch.zip");
  ASSERT_TRUE(writePackage(package, entries));
  const std::string archive = readFile(package);
  for (const bool damaged : {false, true}) {
    const std::string install = folder.file(damaged ? "damaged" : "sound");
    ASSERT_TRUE(makePack(install + "/data/a.axp", {{"old.bin", "old"}}));
    for (int i = 4; i < 8; ++i) writeFile(install + "/f" + std::to_string(i) + ".bin", "old");
    std::string bytes = archive;
    // The third loose file's entry (f6.bin, the archive's eighth).
    if (damaged) bytes[testing_support::zipLayout(bytes).dataBegin[7] + 100] ^= 0x04;
    writeFile(package, bytes);
    UpdaterHandle updater(AXP::createUpdater());
    ASSERT_TRUE(updater->openPackage(package.c_str())) << AXP::getLastErrorMessage();
    ASSERT_EQ(updater->apply(install.c_str(), nullptr), !damaged) << AXP::getLastErrorMessage();
    if (damaged) {
      EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "ziperr=-4127");
    }
    PackHandle pack(axpCreatePakFile());
    ASSERT_TRUE(pack->open((install + "/data/a.axp").c_str(), true));
    for (int i = 0; i < 8; ++i) {
      const std::string name = "f" + std::to_string(i) + ".bin";
      const std::string got = i < 4 ? packedFile(pack.get(), name) : readFile(install + "/" + name);
      EXPECT_TRUE(got == (damaged && i >= 6 ? "old" : expected[name])) << name << (damaged ? " damaged" : "");
    }
  }
}

// Data above the limit of what is held whole goes from the package to its
// target in pieces, loose or into a pack; damaged, it leaves the packed
// file it was to replace as it was.
TEST(Apply, LargeEntriesAreWrittenInPieces) {
  // Repeated stretches pack fast and still take many pieces to unpack.
  std::string large;
  while (large.size() <= AXP::kWholeEntryLimit) large += sampleBytes(65521, 7, false);
  const std::string entry = lzmaPacked(large);
  TempDir folder;
  const std::string install = folder.file("game");
  ASSERT_TRUE(makePack(install + "/data/a.axp", {{"big.bin", "old"}}));
  const std::string package = folder.file("patch.zip");
  ASSERT_TRUE(writePackage(package, {{"(command)", lzmaPacked("0||big.bin\n0|data/a.axp|big.bin\n")},
                                     {"big.bin", entry},
                                     {"data/a.axp/big.bin", entry}}));
  UpdaterHandle updater(AXP::createUpdater());
  updater->setListMaintenance(true);
  ASSERT_TRUE(updater->openPackage(package.c_str()));
  ASSERT_TRUE(updater->apply(install.c_str(), nullptr)) << AXP::getLastErrorMessage();
  EXPECT_TRUE(readFile(install + "/big.bin") == large);
  PackHandle pack(axpCreatePakFile());
  ASSERT_TRUE(pack->open((install + "/data/a.axp").c_str(), true));
  EXPECT_TRUE(packedFile(pack.get(), "big.bin") == large);
  EXPECT_TRUE(pack->checkIntegrity()) << AXP::getLastErrorMessage();
  pack->close();

  ASSERT_TRUE(makePack(install + "/data/a.axp", {{"big.bin", "old"}}));
  writeFile(install + "/big.bin", "old");
  for (const std::string command : {"0|data/a.axp|big.bin", "0||big.bin"}) {
    const std::string damaged = folder.file("damaged.zip");
    ASSERT_TRUE(writePackage(damaged, {{"(command)", lzmaPacked(command + "\n")},
                                       {"big.bin", entry.substr(0, entry.size() / 2)},
                                       {"data/a.axp/big.bin", entry.substr(0, entry.size() / 2)}}));
    UpdaterHandle second(AXP::createUpdater());
    ASSERT_TRUE(second->openPackage(damaged.c_str()));
    EXPECT_FALSE(second->apply(install.c_str(), nullptr)) << command;
  }
  EXPECT_EQ(readFile(install + "/big.bin"), "old");
  EXPECT_FALSE(exists(install + "/big.bin.~axp"));
  ASSERT_TRUE(pack->open((install + "/data/a.axp").c_str(), false));
  EXPECT_EQ(packedFile(pack.get(), "big.bin"), "old");
}

// What the entries would write is set against the free space before
// anything is written.
TEST(Apply, AnUpdateLargerThanTheFreeSpaceIsRefusedBeforeAnyWrite) {
  TempDir folder;
  const std::string install = folder.file("game");
  writeFile(install + "/a.txt", "old");
  UpdaterHandle updater = openedUpdater(folder, "0||a.txt\n0||b.txt\n",
                                        {{"a.txt", std::string(600, 'a')}, {"b.txt", std::string(500, 'b')}});
  testing_support::FaultEnv env;
  const platform::ScopedEnv inUse(&env);
  env.skipSleeps(true);
  env.setFreeSpace(1099);
  EXPECT_FALSE(updater->apply(install.c_str(), nullptr));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::WriteFailed);
  EXPECT_NE(std::string(AXP::getLastErrorMessage()).find("1100 bytes, 1099 are free"), std::string::npos)
      << AXP::getLastErrorMessage();
  EXPECT_EQ(env.writes(), 0u);
  EXPECT_EQ(readFile(install + "/a.txt"), "old");
  env.setFreeSpace(1100);
  EXPECT_TRUE(updater->apply(install.c_str(), nullptr)) << AXP::getLastErrorMessage();
}

}  // namespace
