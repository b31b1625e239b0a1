// "axp exe": the patch program with its version range and sealed package
// appended, run through the built program with a small stand-in program.
#include <gtest/gtest.h>

#include <filesystem>

#include "axp/common/patch_container.h"
#include "axp/patchmaker/package_writer.h"
#include "platform/file.h"
#include "support/system_files.h"
#include "support/temp_dir.h"
#include "tools/tool_expect.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using tool_testing::expectFailure;
using tool_testing::expectUsageError;
using tool_testing::runTool;
using tool_testing::ToolResult;

std::string littleEndian32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// A stand-in for the patch program: some bytes around one empty start
// record (its marker field, then a start of zero).
std::string stubBytes() {
  std::string marker = AXP::kContainerMarkerText;
  marker.resize(AXP::kMarkerFieldSize, '\0');
  return "MZ stand-in program " + marker + littleEndian32(0) + " rest of the program";
}

class ExeCommand : public testing::Test {
 protected:
  ExeCommand() {
    writeFile(stub_, stubBytes());
    // A package made before packages recorded their version range.
    EXPECT_TRUE(AXP::writePackageFile(package_, {{"(command)", "0||(version)\n"}, {"(version)", "2.0|0\n"}}, true));
    EXPECT_TRUE(AXP::writePackageFile(ranged_, {{"(range)", "1.0.0|2.0\n"}, {"(command)", ""}}, true));
  }

  ToolResult exe(const std::string& from, const std::string& to, const std::string& out) {
    return runTool({"exe", "--stub", stub_, "--from", from, "--to", to, package_, "-o", out}, dir_.path());
  }

  TempDir dir_;
  std::string stub_ = dir_.file("stub");
  std::string package_ = dir_.file("patch.pkg");
  std::string ranged_ = dir_.file("ranged.pkg");
};

TEST_F(ExeCommand, ProgramIsTheStubWithRangeAndPackageBehind) {
  // A program file by its name on Windows, by its permissions elsewhere.
  std::string out = dir_.file("patch-1.0-2.0.exe");
  ToolResult made = exe("1.0", "2.0.1", out);
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.err, "");

  // The stub's start record names where the container begins: its length.
  std::string stub = stubBytes();
  std::string expected = stub;
  size_t start = stub.find(AXP::kContainerMarkerText) + AXP::kMarkerFieldSize;
  expected.replace(start, 4, littleEndian32(static_cast<uint32_t>(stub.size())));
  expected += littleEndian32(3) + "1.0" + littleEndian32(5) + "2.0.1" + readFile(package_);
  std::string program = readFile(out);
  EXPECT_EQ(program, expected);
  EXPECT_EQ(made.out, "patch program: " + out + ", " + std::to_string(expected.size()) +
                          " bytes, for versions 1.0 to 2.0.1\n");
  EXPECT_NE(fs::status(out).permissions() & fs::perms::owner_exec, fs::perms::none);
}

// Names are byte strings of the system's code page, here "补丁" in GBK:
// the program is written and made runnable under its own name.
TEST_F(ExeCommand, ProgramNamesAreBytesOfTheCodePage) {
  const std::string out = dir_.file("\xB2\xB9\xB6\xA1.exe");
  ToolResult made = exe("1.0", "2.0", out);
  EXPECT_EQ(made.status, 0) << made.err;
  const size_t container = 4 + 3 + 4 + 3 + readFile(package_).size();
  EXPECT_EQ(platform::fileSize(out), static_cast<int64_t>(stubBytes().size() + container));
}

TEST_F(ExeCommand, VersionTextsMustFitTheirFields) {
  std::string longest(31, '9');
  std::string out = dir_.file("patch");
  EXPECT_EQ(exe("", longest, out).status, 0);
  EXPECT_EQ(readFile(out).substr(stubBytes().size(), 4 + 4 + 31), littleEndian32(0) + littleEndian32(31) + longest);

  std::string refusedOut = dir_.file("refused");
  expectFailure(exe(longest + "9", "2.0", refusedOut), 10);
  expectFailure(exe("1.0", longest + "9", refusedOut), 10);
  EXPECT_FALSE(fs::exists(refusedOut));
}

TEST_F(ExeCommand, TheRangeComesFromThePackageAndIsNotContradicted) {
  std::string out = dir_.file("patch");
  ToolResult made = runTool({"exe", "--stub", stub_, ranged_, "-o", out}, dir_.path());
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(readFile(out).substr(stubBytes().size(), 4 + 5 + 4 + 3), littleEndian32(5) + "1.0.0" + littleEndian32(3) +
                                                                         "2.0");
  // The same range written otherwise is no contradiction.
  ToolResult same = runTool({"exe", "--stub", stub_, "--from", "01.0.0", ranged_, "-o", out}, dir_.path());
  EXPECT_EQ(same.status, 0) << same.err;

  std::string refused = dir_.file("refused");
  ToolResult wider = runTool({"exe", "--stub", stub_, "--from", "0.9", ranged_, "-o", refused}, dir_.path());
  expectFailure(wider, 10);
  EXPECT_NE(wider.err.find("made for version 1.0.0 to 2.0"), std::string::npos) << wider.err;
  expectFailure(runTool({"exe", "--stub", stub_, "--to", "2.1", ranged_, "-o", refused}, dir_.path()), 10);
  // A package without a recorded range needs both.
  ToolResult unknown = runTool({"exe", "--stub", stub_, "--from", "1", package_, "-o", refused}, dir_.path());
  expectFailure(unknown, 1);
  EXPECT_NE(unknown.err.find("--from and --to"), std::string::npos) << unknown.err;
  EXPECT_FALSE(fs::exists(refused));
}

TEST_F(ExeCommand, StubAndOutputMustBeThere) {
  std::string out = dir_.file("patch");
  expectUsageError(runTool({"exe", "--stub", stub_, "--from", "1", "--to", "2", package_}));
  ToolResult noStub = runTool({"exe", "--stub", dir_.file("nothing"), ranged_, "-o", out}, dir_.path());
  expectFailure(noStub, 1);
  EXPECT_NE(noStub.err.find("--stub"), std::string::npos) << noStub.err;
  // Not a package at all.
  writeFile(dir_.file("bytes"), "PK\x03\x04 package bytes");
  ToolResult notAPackage = runTool({"exe", "--stub", stub_, dir_.file("bytes"), "-o", out}, dir_.path());
  expectFailure(notAPackage, 14);
  EXPECT_NE(notAPackage.err.find("is not a patch package"), std::string::npos) << notAPackage.err;
  EXPECT_FALSE(fs::exists(out));
}

// The patch program "axp exe" copies unless told otherwise is the one built
// for shipping: without the symbols and debug information the tests' build
// keeps.
TEST_F(ExeCommand, TheShippingStubIsStrippedAndTakenByDefault) {
  const std::string stub =
      (fs::path(AXP_TOOL_PATH).parent_path() / "qelt-patch-stub").string() + testing_support::kProgramSuffix;
  const std::string stubFile = readFile(stub);
  ASSERT_FALSE(stubFile.empty()) << stub;
  EXPECT_EQ(stubFile.find(".symtab"), std::string::npos);
  EXPECT_EQ(stubFile.find(".debug_info"), std::string::npos);
  // The program the tests run keeps its symbols, which the stub leaves out.
  EXPECT_LT(stubFile.size(), readFile(QELT_PATCH_PATH).size());

  const std::string out = dir_.file("patch");
  ToolResult made = runTool({"exe", ranged_, "-o", out}, dir_.path());
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string program = readFile(out);
  EXPECT_EQ(program.size(), stubFile.size() + 4 + 5 + 4 + 3 + readFile(ranged_).size());
  EXPECT_EQ(program.substr(0, 64), stubFile.substr(0, 64));
}

}  // namespace
