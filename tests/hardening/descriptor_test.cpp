// Every failure path of the library's file operations that a caller can
// reach must close what it opened: after each one the process holds exactly
// the descriptors it held before.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/pack/pack_file.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/patchmaker/zip_writer.h"
#include "axp/updater/updater.h"
#include "hardening_support.h"
#include "package_builder.h"
#include "support/system_files.h"
#include "support/temp_dir.h"
#include "write_faults.h"

namespace crash_testing {
namespace {

size_t openDescriptors() { return testing_support::openHandleCount(); }

// A call that must fail; `run` answers whether it did.
struct FailurePath {
  std::string name;
  std::function<bool()> run;
};

// Each path runs once before it is counted: the system's libraries open
// some handles of their own when a call is first made (Windows' thread and
// loader handles), and keep them; a leak of the library's shows on every
// run.
void expectNothingLeft(const std::vector<FailurePath>& paths) {
  for (const FailurePath& path : paths) {
    path.run();
    const size_t before = openDescriptors();
    EXPECT_TRUE(path.run()) << path.name << ": the call did not fail " << AXP::getLastErrorCode() << " " << AXP::getLastErrorMessage();
    EXPECT_EQ(openDescriptors(), before) << path.name << ": a descriptor was left open";
  }
}

std::string makePack(const ScratchFolder& folder, const std::string& name) {
  const std::string path = folder.file(name);
  AXP::PackFile pack;
  EXPECT_TRUE(pack.create(path.c_str()));
  pack.setListTracking(1);
  EXPECT_TRUE(pack.insertContents("abc", 3, "a.txt", true, true));
  EXPECT_TRUE(pack.insertContents(std::string(600000, 'b').data(), 600000, "big.dat", true, true));
  EXPECT_TRUE(pack.saveList());
  return path;
}

void patchWord(const std::string& path, size_t offset, uint32_t value) {
  std::string bytes = testing_support::readFile(path);
  std::memcpy(bytes.data() + offset, &value, sizeof value);
  testing_support::writeFile(path, bytes);
}

bool openFails(const std::string& path, bool readOnly) {
  AXP::PackFile pack;
  return !pack.open(path.c_str(), readOnly);
}

TEST(Descriptors, PackFailuresCloseWhatTheyOpened) {
  ScratchFolder folder;
  const std::string good = makePack(folder, "good.axp");
  const std::string edited = makePack(folder, "edited.axp");
  patchWord(edited, offsetof(AXP::PackHeader, editFlag), 1);
  const std::string early = makePack(folder, "early.axp");
  patchWord(early, AXP::kBlockTableOffset, 16);  // the first block before the data area
  const std::string claims = makePack(folder, "claims.axp");
  patchWord(claims, offsetof(AXP::PackHeader, blockCount), 0x80000000u);
  testing_support::writeFile(folder.file("short.axp"), "AXPK");
  const std::string badList = makePack(folder, "badlist.axp");
  {
    AXP::PackFile pack;
    EXPECT_TRUE(pack.open(badList.c_str(), false));
    EXPECT_TRUE(pack.insertContents("00000000\n5\n\n", 12, AXP::kListFileName, true, true));
  }

  expectNothingLeft({
      {"open of a missing pack", [&] { return openFails(folder.file("missing.axp"), false); }},
      {"open of a folder", [&] { return openFails(folder.path(), true); }},
      {"open of a file shorter than a header", [&] { return openFails(folder.file("short.axp"), false); }},
      {"read-only open of a pack marked as edited", [&] { return openFails(edited, true); }},
      {"open of a pack with a block before the data area", [&] { return openFails(early, true); }},
      {"open of a header claiming 2^31 blocks", [&] { return openFails(claims, false); }},
      {"create in a missing folder",
       [&] {
         AXP::PackFile pack;
         return !pack.create(folder.file("none/new.axp").c_str());
       }},
      {"edits refused or failing on an open pack",
       [&] {
         AXP::PackFile pack;
         if (!pack.open(good.c_str(), false)) return false;
         return !pack.insertContents(folder.file("missing").c_str(), 0, "x", false, true) &&
                !pack.insertContents(folder.path().c_str(), 0, "x", false, true) &&
                !pack.removeContents("absent", true) && pack.openFile("absent") == nullptr &&
                !pack.checkIntegrity();
       }},
      {"edits on a read-only pack",
       [&] {
         AXP::PackFile pack;
         if (!pack.open(good.c_str(), true)) return false;
         return !pack.insertContents("x", 1, "x", true, true) && !pack.removeContents("a.txt", true) &&
                !pack.repairFromList(folder.file("master").c_str());
       }},
      {"a pack destroyed with its streams open, failing a check",
       [&] {
         AXP::PackFile pack;
         if (!pack.open(badList.c_str(), true)) return false;
         std::thread other([&] { pack.openFile("big.dat"); });
         other.join();
         return pack.openFile("a.txt") != nullptr && pack.openFile("big.dat") != nullptr && !pack.checkIntegrity();
       }},
      {"a list that does not verify, without a master list",
       [&] {
         AXP::PackFile pack;
         return pack.open(badList.c_str(), false) && !pack.verifyList() &&
                !pack.repairFromList(folder.file("missing-master").c_str());
       }},
      {"a list whose saving meets a full disk",
       [&] {
         AXP::PackFile pack;
         if (!pack.open(good.c_str(), false)) return false;
         failWrite(1);
         const bool failed = !pack.saveList();
         failWrite(0);
         return failed;
       }},
      {"a packed file updated in a missing pack",
       [&] {
         AXP::PackFile pack;
         return !pack.updatePackedFile("no/such/pack.axp", "a.txt", 5, "xyz", 3);
       }},
  });
}

using AXP::UpdaterHandle;

// Opens `package` in a fresh updater and runs `use` on it; the updater is
// gone (its archives closed) before the descriptors are counted.
bool withPackage(const std::string& package, const std::function<bool(AXP::Updater*)>& use) {
  UpdaterHandle updater(AXP::createUpdater());
  return updater->openPackage(package.c_str()) && use(updater.get());
}

TEST(Descriptors, UpdaterFailuresCloseWhatTheyOpened) {
  ScratchFolder folder;
  const std::string damagedLzma = "LZMA" + std::string(32, '\0') + std::string("\x10\0\0\0\x5D\0\0\x01\0", 9) +
                                  std::string(40, '\xFF');
  const std::string package = folder.file("patch.xzip");
  ASSERT_TRUE(writeSealedPackage(package, "0||a.txt\n", {{"a.txt", "a"}}));
  const std::string plain = folder.file("plain.zip");
  ASSERT_TRUE(writePlainArchive(plain, {{"(command)", "0||a.txt\n"}, {"a.txt", "a"}, {"bad", damagedLzma}}));
  const std::string badCommands = folder.file("bad-commands.zip");
  ASSERT_TRUE(writePlainArchive(badCommands, {{"(command)", damagedLzma}}));
  testing_support::writeFile(folder.file("not-a-zip"), std::string(5000, 'n'));
  testing_support::writeFile(folder.file("tiny"), "ab");
  testing_support::writeFile(folder.file("file"), "f");
  std::filesystem::create_directories(folder.file("target-folder"));
  const std::string missingPack = folder.file("missing-pack.xzip");
  ASSERT_TRUE(writeSealedPackage(missingPack, "0|data/none.axp|x\n", {{"data/none.axp/x", "x"}}));
  const std::string blocked = folder.file("blocked.xzip");
  ASSERT_TRUE(writeSealedPackage(blocked, "0||a.txt\n0||(version)\n", {{"a.txt", "a"}, {"(version)", "2"}}));
  const std::string install = folder.file("game");
  std::filesystem::create_directories(install + "/(version)");

  expectNothingLeft({
      {"a missing package", [&] { return !withPackage(folder.file("missing.xzip"), {}); }},
      {"a file that is no ZIP archive", [&] { return !withPackage(folder.file("not-a-zip"), {}); }},
      {"a command list that does not unpack", [&] { return !withPackage(badCommands, {}); }},
      {"extractions that fail",
       [&] {
         return withPackage(plain, [&](AXP::Updater* updater) {
           const uint8_t* data = nullptr;
           uint32_t size = 0;
           return !updater->extractEntry(plain.c_str(), "a.txt", folder.file("target-folder").c_str(), nullptr,
                                         &size) &&
                  !updater->extractEntry(plain.c_str(), "a.txt", folder.file("file/below").c_str(), nullptr, &size) &&
                  !updater->extractEntry(plain.c_str(), "bad", folder.file("out").c_str(), nullptr, &size) &&
                  !updater->extractEntry(plain.c_str(), "bad", nullptr, &data, &size);
         });
       }},
      {"an update whose pack is missing",
       [&] { return withPackage(missingPack, [&](AXP::Updater* u) { return !u->apply(install.c_str(), nullptr); }); }},
      {"an update whose version file is a folder",
       [&] { return withPackage(blocked, [&](AXP::Updater* u) { return !u->apply(install.c_str(), nullptr); }); }},
      {"checksums and sealing of files that are missing or too short",
       [&] {
         UpdaterHandle updater(AXP::createUpdater());
         uint32_t checksum = 0;
         return !updater->verifyChecksum(folder.file("missing").c_str()) &&
                !updater->verifyChecksum(folder.file("tiny").c_str()) &&
                !updater->computeChecksum(folder.file("missing").c_str(), &checksum, true) &&
                !updater->copyAndSeal(folder.file("missing").c_str(), folder.file("copy").c_str()) &&
                !updater->copyAndSeal(package.c_str(), folder.file("none/copy").c_str()) &&
                updater->selectIo(folder.file("missing").c_str()) == AXP::defaultPackageIo();
       }},
      {"scrambling and sealing that fail",
       [&] {
         return !AXP::toggleScrambling(folder.file("missing"), false) &&
                !AXP::toggleScrambling(folder.file("target-folder"), true) &&
                !AXP::appendChecksumTrailer(folder.file("missing")) &&
                !AXP::checkChecksumTrailer(folder.file("tiny"));
       }},
  });
}

TEST(Descriptors, WriterAndBuilderFailuresCloseWhatTheyOpened) {
  ScratchFolder folder;
  testing_support::writeFile(folder.file("old/readme.txt"), "old");
  testing_support::writeFile(folder.file("new/readme.txt"), "new");
  testing_support::writeFile(folder.file("damaged/(version)"), "1.0|3\nonly-one-row|00000001|00000002|\n");
  std::filesystem::create_directories(folder.file("a-folder"));

  expectNothingLeft({
      {"an archive in a missing folder",
       [&] { return AXP::createArchive(folder.file("none/a.zip").c_str(), 0, AXP::kTargetPath) == nullptr; }},
      {"an archive over a folder",
       [&] { return AXP::createArchive(folder.file("a-folder").c_str(), 0, AXP::kTargetPath) == nullptr; }},
      {"entries whose source is missing or a folder",
       [&] {
         AXP::ArchiveHandle* archive = AXP::createArchive(folder.file("a.zip").c_str(), 0, AXP::kTargetPath);
         if (archive == nullptr) return false;
         const bool failed =
             AXP::addToArchive(archive, "x", folder.file("missing").c_str(), 0, AXP::kSourcePath,
                               AXP::kMethodDeflate) != AXP::kZipSuccess &&
             AXP::addToArchive(archive, "y", folder.file("a-folder").c_str(), 0, AXP::kSourcePath,
                               AXP::kMethodStore) != AXP::kZipSuccess;
         AXP::closeArchive(archive);
         return failed;
       }},
      {"builder registrations and packages that fail",
       [&] {
         AXP::PatchMaker* maker = AXP::createPatchMaker();
         maker->setPackingThreads(2);
         const bool failed = !maker->addVersion(folder.file("missing").c_str(), "1.0") &&
                             !maker->addVersion(folder.file("damaged").c_str(), nullptr) &&
                             maker->addVersion(folder.file("old").c_str(), "1.0") &&
                             maker->addVersion(folder.file("new").c_str(), "2.0") &&
                             !maker->makePatch(folder.file("old").c_str(), folder.file("missing").c_str(),
                                               folder.file("p.xzip").c_str(), {}) &&
                             !maker->makePatch(folder.file("old").c_str(), folder.file("new").c_str(),
                                               folder.file("a-folder").c_str(), {}) &&
                             !maker->makePatch(folder.file("old").c_str(), folder.file("new").c_str(),
                                               folder.file("none/p.xzip").c_str(), {});
         AXP::destroyPatchMaker(maker);
         return failed;
       }},
  });
}

// `call` with the `failing`-th write from now failing as on a full disk.
bool withFailingWrite(uint64_t failing, const std::function<bool()>& call) {
  failWrite(failing);
  const bool result = call();
  failWrite(0);
  return result;
}

TEST(Descriptors, WritesThatFailCloseWhatTheyOpened) {
  ScratchFolder folder;
  const std::string pack = makePack(folder, "pack.axp");
  const std::string package = folder.file("patch.xzip");
  ASSERT_TRUE(writeSealedPackage(package, "0||a.txt\n0|data/p.axp|x\n", {{"a.txt", sampleBytes(9000, 3)}, {"data/p.axp/x", "x"}}));
  testing_support::writeFile(folder.file("old/readme.txt"), "old");
  testing_support::writeFile(folder.file("new/readme.txt"), "new");
  const std::string install = folder.file("game");
  std::filesystem::create_directories(install + "/data");
  std::filesystem::copy_file(pack, install + "/data/p.axp");

  expectNothingLeft({
      {"a pack created on a full disk",
       [&] {
         AXP::PackFile created;
         return withFailingWrite(2, [&] { return !created.create(folder.file("new.axp").c_str()); });
       }},
      {"a list saved on a full disk",
       [&] {
         AXP::PackFile opened;
         return opened.open(pack.c_str(), false) && withFailingWrite(1, [&] { return !opened.saveList(); });
       }},
      {"an update whose loose file cannot be written",
       [&] {
         return withPackage(package, [&](AXP::Updater* u) {
           return withFailingWrite(1, [&] { return !u->apply(install.c_str(), nullptr); });
         });
       }},
      {"an update whose pack edit cannot be written",
       [&] {
         return withPackage(package, [&](AXP::Updater* u) {
           return withFailingWrite(2, [&] { return !u->apply(install.c_str(), nullptr); });
         });
       }},
      {"scrambling and sealing on a full disk",
       [&] {
         const std::string copy = folder.file("copy.xzip");
         testing_support::writeFile(copy, testing_support::readFile(package));
         return withFailingWrite(1, [&] { return !AXP::toggleScrambling(copy, true); }) &&
                withFailingWrite(1, [&] { return !AXP::appendChecksumTrailer(copy); });
       }},
      {"an archive written on a full disk",
       [&] {
         AXP::ArchiveHandle* archive = AXP::createArchive(folder.file("full.zip").c_str(), 0, AXP::kTargetPath);
         if (archive == nullptr) return false;
         const std::string data = sampleBytes(20000, 4);
         const bool failed = withFailingWrite(1, [&] {
           return AXP::addToArchive(archive, "x", data.data(), static_cast<uint32_t>(data.size()), AXP::kSourceMemory,
                                    AXP::kMethodDeflate) != AXP::kZipSuccess;
         });
         AXP::closeArchive(archive);
         return failed;
       }},
      {"a package built on a full disk",
       [&] {
         AXP::PatchMaker* maker = AXP::createPatchMaker();
         const bool failed = maker->addVersion(folder.file("old").c_str(), "1.0") &&
                             maker->addVersion(folder.file("new").c_str(), "2.0") &&
                             withFailingWrite(3, [&] {
                               return !maker->makePatch(folder.file("old").c_str(), folder.file("new").c_str(),
                                                        folder.file("built.xzip").c_str(), {});
                             });
         AXP::destroyPatchMaker(maker);
         return failed;
       }},
  });
}

}  // namespace
}  // namespace crash_testing
