#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <optional>
#include <string>

#include "axp/common/byte_order.h"
#include "axp/common/error_record.h"
#include "axp/common/format_names.h"
#include "axp/common/package_seal.h"
#include "axp/common/patch_container.h"
#include "axp/updater/lzma_entry.h"
#include "frontend/embedded_container.h"
#include "frontend_fixtures.h"
#include "platform/env.h"
#include "support/temp_dir.h"

namespace {

using frontend_testing::PackageEntry;
using frontend_testing::rawContainer;
using frontend_testing::stubBytes;
using frontend_testing::writeSealedPackage;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

class ContainerTest : public testing::Test {
 protected:
  // Reads the container of `program`, which holds stubBytes() first.
  bool read(const std::string& program) {
    writeFile(dir.file("program"), program);
    qelt::PatchSettings settings{dir.file("program"), static_cast<uint32_t>(stubBytes().size()), dir.path() + "/", {}};
    return qelt::readEmbeddedContainer(settings, &state, &notes);
  }

  std::string sealedPackage(const std::vector<PackageEntry>& entries) {
    EXPECT_TRUE(writeSealedPackage(dir.file("package.xzip"), entries));
    return readFile(dir.file("package.xzip"));
  }

  TempDir dir;
  qelt::PatchState state;
  std::optional<std::string> notes;
};

TEST_F(ContainerTest, ReadsRangeCopiesPackageAndShowsNotes) {
  const std::string package = sealedPackage({{"(command)", ""}, {"update.TXT", "line one\r\nline two\r\n"}});
  ASSERT_TRUE(read(rawContainer(3, "1.0", 5, "1.0.1", package)));
  EXPECT_EQ(state.fromVersion, "1.0");
  EXPECT_EQ(state.toVersion, "1.0.1");
  EXPECT_EQ(state.fromKey, "00000.00000.00001.00000");
  EXPECT_EQ(state.toKey, "00000.00001.00000.00001");
  EXPECT_EQ(state.packagePath, dir.path() + "/QELT Patch/QELT-1.0-1.0.1.xzip");
  EXPECT_EQ(readFile(state.packagePath), package);
  ASSERT_TRUE(notes.has_value());
  EXPECT_EQ(*notes, "line one\r\nline two\r\n");
  // The notes are read in memory: no file of a name others could foresee
  // is made in the temporary folder.
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/QELT PatchQELT_patchinfo_1.0_1.0.1.txt"));
}

TEST_F(ContainerTest, NotesPackedByTheBuilderAreShownUnpacked) {
  const std::string text = "版本 1.0.1 的更新说明\r\n" + std::string(300, '=') + "\r\n";
  const uint8_t* entry = nullptr;
  uint32_t entrySize = 0;
  ASSERT_TRUE(AXP::packLzma(text.data(), static_cast<uint32_t>(text.size()), &entry, &entrySize));
  const std::string packed(reinterpret_cast<const char*>(entry), entrySize);
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", sealedPackage({{"(command)", ""}, {"Update.txt", packed}}))));
  ASSERT_TRUE(notes.has_value());
  EXPECT_EQ(*notes, text);
}

TEST_F(ContainerTest, VersionLengthsOf31AndEmptyPassButNot32) {
  const std::string package = sealedPackage({{"(command)", ""}});
  const std::string longest(31, '9');
  ASSERT_TRUE(read(rawContainer(0, "", 31, longest, package)));
  EXPECT_EQ(state.fromVersion, "");
  EXPECT_EQ(state.fromKey, "00000.00000.00000.00000");
  EXPECT_EQ(state.toVersion, longest);
  EXPECT_EQ(state.packagePath, dir.path() + "/QELT Patch/QELT--" + longest + ".xzip");

  qelt::PatchState fresh;
  state = fresh;
  EXPECT_FALSE(read(rawContainer(32, std::string(32, '1'), 3, "1.1", package)));
  EXPECT_FALSE(read(rawContainer(3, "1.0", 32, std::string(32, '1'), package)));
  EXPECT_EQ(state.toVersion, "") << "a refused length reads nothing into the field";
  // A length field that is huge must not be taken as an allocation size.
  EXPECT_FALSE(read(rawContainer(0xFFFFFFFF, "", 3, "1.1", package)));
}

TEST_F(ContainerTest, TruncatedOrUnfitContainersFail) {
  const std::string whole = rawContainer(3, "1.0", 3, "1.1", "package");
  const size_t stub = stubBytes().size();
  EXPECT_FALSE(read(whole.substr(0, stub + 2))) << "inside the first length";
  EXPECT_FALSE(read(whole.substr(0, stub + 4 + 2))) << "inside the from text";
  EXPECT_FALSE(read(whole.substr(0, stub + 4 + 3 + 4 + 1))) << "inside the to text";
  EXPECT_FALSE(read(stubBytes().substr(0, stub - 1))) << "the container start lies beyond the file";
  // A version text becomes part of a file name: no separators, no controls.
  EXPECT_FALSE(read(rawContainer(5, "../..", 3, "1.1", "package")));
  EXPECT_FALSE(read(rawContainer(3, "1.0", 4, "1\\.1", "package")));
  EXPECT_FALSE(read(rawContainer(3, "1.0", 4, "1.1\n", "package")));
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/QELT Patch/QELT-../..-1.1.xzip"));
}

TEST_F(ContainerTest, NotesAreOptional) {
  // No notes entry: the container reads, no notes.
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", sealedPackage({{"(command)", ""}}))));
  EXPECT_FALSE(notes.has_value());
  // An empty notes entry gives an empty text.
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", sealedPackage({{"Update.txt", ""}}))));
  ASSERT_TRUE(notes.has_value());
  EXPECT_EQ(*notes, "");
  // A package sealed but not a ZIP archive still copies; its notes are
  // silent.
  writeFile(dir.file("not a zip"), "not a zip archive at all");
  ASSERT_TRUE(AXP::appendChecksumTrailer(dir.file("not a zip")));
  const std::string notZip = readFile(dir.file("not a zip"));
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", notZip)));
  EXPECT_FALSE(notes.has_value());
  EXPECT_EQ(readFile(state.packagePath), notZip);
  // Notes above the size limit are not shown.
  const std::string huge(AXP::kMaxReleaseNotes + 1, 'n');
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", sealedPackage({{"Update.txt", huge}}))));
  EXPECT_FALSE(notes.has_value());
}

TEST_F(ContainerTest, ASecondReadRewritesTheCopy) {
  const std::string first = sealedPackage({{"(command)", "a longer first list"}});
  const std::string second = sealedPackage({{"(command)", ""}});
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", first)));
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", second)));
  EXPECT_EQ(readFile(state.packagePath), second);
}

TEST_F(ContainerTest, APackageCopyThatCannotBeWrittenFails) {
  // No temporary folder to make the work folder in: the copy cannot be made.
  const std::string package = sealedPackage({{"(command)", ""}});
  writeFile(dir.file("program"), rawContainer(3, "1.0", 3, "1.1", package));
  qelt::PatchSettings settings{dir.file("program"), static_cast<uint32_t>(stubBytes().size()),
                               dir.path() + "/missing/", {}};
  EXPECT_FALSE(qelt::readEmbeddedContainer(settings, &state, &notes));
}

// The package is checked against its trailer before anything uses it: a
// flipped bit anywhere, or an end cut off, fails the container step.
TEST_F(ContainerTest, ADamagedPackageFailsBeforeUse) {
  const std::string package = sealedPackage({{"(command)", "0||a.txt\n"}, {"a.txt", "a"}, {"Update.txt", "n"}});
  for (size_t at : {size_t{0}, package.size() / 2, package.size() - 5, package.size() - 1}) {
    std::string flipped = package;
    flipped[at] ^= 0x10;
    EXPECT_FALSE(read(rawContainer(3, "1.0", 3, "1.1", flipped))) << "bit flipped at " << at;
    EXPECT_FALSE(std::filesystem::exists(state.packagePath)) << "the refused copy is removed";
  }
  for (size_t cut = 1; cut <= 5; ++cut) {
    EXPECT_FALSE(read(rawContainer(3, "1.0", 3, "1.1", package.substr(0, package.size() - cut))))
        << cut << " bytes cut off";
  }
  EXPECT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", package)));
}

#ifndef _WIN32
// POSIX owners and permission bits; the Win32 Env checks the folder by its
// owner SID and its reparse attribute instead.
// Another user who made the work folder first, open to everyone, and put a
// link in it under the package copy's name gets nothing: the copy goes to
// a fresh folder of this user's own.
TEST_F(ContainerTest, AWorkFolderOthersMayWriteIsPassedOver) {
  const std::string work = dir.file("QELT Patch");
  std::filesystem::create_directory(work);
  ASSERT_EQ(::chmod(work.c_str(), 0777), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(work.c_str(), 65534, 65534), 0);
  }
  writeFile(dir.file("victim.txt"), "victim");
  std::filesystem::create_symlink(dir.file("victim.txt"), work + "/QELT-1.0-1.1.xzip");
  const std::string package = sealedPackage({{"(command)", ""}});
  ASSERT_TRUE(read(rawContainer(3, "1.0", 3, "1.1", package)));
  EXPECT_EQ(readFile(dir.file("victim.txt")), "victim");
  EXPECT_EQ(readFile(state.packagePath), package);
  const std::string folder = std::filesystem::path(state.packagePath).parent_path().string();
  EXPECT_EQ(folder.rfind(work + "-", 0), 0u) << folder;
  struct stat info;
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 077, 0u);
}
#endif

class PatchProgramWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir.file("stub"), stubBytes());
    ASSERT_TRUE(writeSealedPackage(dir.file("package"), {{"(command)", ""}, {"Update.txt", "notes"}}));
  }
  bool write(const std::string& from, const std::string& to) {
    return AXP::writePatchProgram(dir.file("stub"), from, to, dir.file("package"), dir.file("out.exe"));
  }

  TempDir dir;
};

TEST_F(PatchProgramWriterTest, WritesStubWithStartThenContainer) {
  ASSERT_TRUE(write("1.0", "1.1"));
  const std::string stub = stubBytes();
  const std::string out = readFile(dir.file("out.exe"));
  std::string expectedStub = stub;
  const size_t start = stub.find(AXP::kContainerMarkerText) + AXP::kMarkerFieldSize;
  uint8_t length[4];
  AXP::writeLittleEndian32(length, static_cast<uint32_t>(stub.size()));
  expectedStub.replace(start, 4, reinterpret_cast<const char*>(length), 4);
  EXPECT_EQ(out, expectedStub + rawContainer(3, "1.0", 3, "1.1", readFile(dir.file("package"))).substr(stub.size()));
  // A program file: by its permissions, and on Windows by its name.
  platform::FileInfo info;
  ASSERT_TRUE(platform::currentEnv()->pathInfo(dir.file("out.exe"), &info));
  EXPECT_TRUE(info.executable);

  // What the writer wrote, the reader reads.
  qelt::PatchState state;
  std::optional<std::string> notes;
  qelt::PatchSettings settings{dir.file("out.exe"), static_cast<uint32_t>(stub.size()), dir.path() + "/", {}};
  ASSERT_TRUE(qelt::readEmbeddedContainer(settings, &state, &notes));
  EXPECT_EQ(state.toVersion, "1.1");
  EXPECT_EQ(notes.value_or("none"), "notes");
}

TEST_F(PatchProgramWriterTest, RefusesVersionTextsThatDoNotFit) {
  EXPECT_FALSE(write(std::string(32, '1'), "1.1"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_FALSE(write("1.0", "1/1"));
  EXPECT_FALSE(write("1.0", "1\x1b[2J"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.exe")));
  EXPECT_TRUE(write(std::string(31, '1'), ""));
}

TEST_F(PatchProgramWriterTest, RefusesStubsWithoutExactlyOneFreshRecord) {
  writeFile(dir.file("stub"), "a program without the record");
  EXPECT_FALSE(write("1.0", "1.1"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.exe"))) << "no half-written program is left";

  writeFile(dir.file("stub"), stubBytes() + stubBytes());
  EXPECT_FALSE(write("1.0", "1.1"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);

  // A finished patch program as the stub: its record is set already.
  writeFile(dir.file("stub"), stubBytes());
  ASSERT_TRUE(write("1.0", "1.1"));
  std::filesystem::rename(dir.file("out.exe"), dir.file("stub"));
  EXPECT_FALSE(write("1.1", "1.2"));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
}

TEST_F(PatchProgramWriterTest, FindsARecordThatStraddlesCopyBlocks) {
  // The writer copies in 64 KiB blocks; put the marker across the first
  // boundary.
  std::string stub(64 * 1024 - 10, 'x');
  writeFile(dir.file("stub"), stub + stubBytes());
  ASSERT_TRUE(write("1.0", "1.1"));
  const std::string out = readFile(dir.file("out.exe"));
  const size_t record = out.find(AXP::kContainerMarkerText) + AXP::kMarkerFieldSize;
  EXPECT_EQ(AXP::readLittleEndian32(reinterpret_cast<const uint8_t*>(out.data() + record)),
            stub.size() + stubBytes().size());
}

TEST_F(PatchProgramWriterTest, RefusesUnsealedPackagesAndOverwritingInputs) {
  EXPECT_FALSE(AXP::writePatchProgram(dir.file("stub"), "1.0", "1.1", dir.file("stub"), dir.file("out.exe")));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_FALSE(AXP::writePatchProgram(dir.file("stub"), "1.0", "1.1", dir.file("missing"), dir.file("out.exe")));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  EXPECT_FALSE(AXP::writePatchProgram(dir.file("stub"), "1.0", "1.1", dir.file("package"), dir.file("stub")));
  EXPECT_EQ(readFile(dir.file("stub")), stubBytes());
  EXPECT_FALSE(AXP::writePatchProgram(dir.file("stub"), "1.0", "1.1", dir.file("package"), dir.file("package")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.exe")));
}

}  // namespace
