// "axp package": sealing, unsealing, verifying and checksumming files, run
// through the built program.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "support/temp_dir.h"
#include "tools/tool_expect.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using tool_testing::runTool;
using tool_testing::ToolResult;

// Bytes that look like the start of a plain ZIP archive, long enough to
// cross several blocks of the scrambling pass.
std::string plainArchive() {
  std::string bytes = "PK\x03\x04";
  for (int i = 0; i < 3000; ++i) bytes += static_cast<char>((i * 37 + i / 7) & 0xFF);
  return bytes;
}

uint32_t littleEndianTail(const std::string& bytes) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[bytes.size() - 4 + i])) << (8 * i);
  return value;
}

TEST(PackageCommand, SealVerifyUnsealGivesTheOriginalBack) {
  TempDir dir;
  std::string path = dir.file("patch.zip");
  std::string original = plainArchive();
  writeFile(path, original);

  ToolResult sealed = runTool({"package", "seal", path}, dir.path());
  ASSERT_EQ(sealed.status, 0) << sealed.err;
  EXPECT_EQ(sealed.out + sealed.err, "");
  std::string scrambled = readFile(path);
  ASSERT_EQ(scrambled.size(), original.size() + 4);
  EXPECT_NE(scrambled.substr(0, original.size()), original);

  // The trailer is the checksum of the scrambled bytes before it.
  ToolResult crc = runTool({"package", "crc", path, "--skip-trailer"}, dir.path());
  ASSERT_EQ(crc.status, 0) << crc.err;
  char expected[16];
  std::snprintf(expected, sizeof expected, "%08X\n", littleEndianTail(scrambled));
  EXPECT_EQ(crc.out, expected);

  ToolResult verified = runTool({"package", "verify", path}, dir.path());
  EXPECT_EQ(verified.status, 0) << verified.err;
  EXPECT_EQ(verified.out, "ok\n");

  // Sealing twice would garble the package: refused, file untouched.
  ToolResult again = runTool({"package", "seal", path}, dir.path());
  tool_testing::expectFailure(again, 10);
  EXPECT_EQ(readFile(path), scrambled);

  ToolResult unsealed = runTool({"package", "unseal", path}, dir.path());
  ASSERT_EQ(unsealed.status, 0) << unsealed.err;
  EXPECT_EQ(readFile(path), original);
  // No scratch file is left in the temporary folder.
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) entries += entry.path() != path;
  EXPECT_EQ(entries, 0);
}

TEST(PackageCommand, DamagedOrMissingTrailerIsRefused) {
  TempDir dir;
  std::string path = dir.file("patch.zip");
  writeFile(path, plainArchive());
  ASSERT_EQ(runTool({"package", "seal", path}, dir.path()).status, 0);
  std::string sealed = readFile(path);
  std::string damaged = sealed;
  damaged[1500] ^= 0x01;
  writeFile(path, damaged);

  ToolResult verified = runTool({"package", "verify", path}, dir.path());
  tool_testing::expectFailure(verified, 2);
  EXPECT_NE(verified.err.find("checksum trailer mismatch"), std::string::npos) << verified.err;
  tool_testing::expectFailure(runTool({"package", "unseal", path}, dir.path()), 2);
  EXPECT_EQ(readFile(path), damaged);

  // A plain file never sealed has no trailer to match.
  std::string plain = dir.file("plain.zip");
  writeFile(plain, plainArchive());
  tool_testing::expectFailure(runTool({"package", "unseal", plain}, dir.path()), 2);
  EXPECT_EQ(readFile(plain), plainArchive());

  // Too short to carry a trailer at all.
  std::string tiny = dir.file("tiny");
  writeFile(tiny, "abc");
  ToolResult small = runTool({"package", "verify", tiny}, dir.path());
  tool_testing::expectFailure(small, 10);
  EXPECT_NE(small.err.find("(too small)"), std::string::npos) << small.err;
}

TEST(PackageCommand, CrcPrintsEightUpperCaseHexDigits) {
  TempDir dir;
  std::string abc = dir.file("abc");
  writeFile(abc, "abc");
  ToolResult whole = runTool({"package", "crc", abc});
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(whole.out, "6F7100CC\n");

  std::string withTail = dir.file("abc+tail");
  writeFile(withTail, std::string("abc\x01\x02\x03\x04", 7));
  EXPECT_EQ(runTool({"package", "crc", "--skip-trailer", withTail}).out, "6F7100CC\n");

  std::string empty = dir.file("empty");
  writeFile(empty, "");
  EXPECT_EQ(runTool({"package", "crc", empty}).out, "00000000\n");
}

TEST(PackageCommand, MissingFileIsAFailureWithItsCode) {
  TempDir dir;
  std::string missing = dir.file("absent.zip");
  tool_testing::expectFailure(runTool({"package", "crc", missing}), 4);
  tool_testing::expectFailure(runTool({"package", "verify", missing}), 4);
  tool_testing::expectFailure(runTool({"package", "seal", missing}, dir.path()), 3);
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(PackageCommand, WrongCommandLinesExitWithStatusTwo) {
  const std::vector<std::vector<std::string>> lines = {
      {},
      {"package", "seal"},
      {"package", "crc", "a", "--skip-trailer=yes"},
  };
  for (const auto& line : lines) {
    ToolResult result = runTool(line);
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("axp: error: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("--help' for more information."), std::string::npos) << result.err;
  }
}

TEST(PackageCommand, HelpListsGroupsAndCommands) {
  ToolResult top = runTool({"--help"});
  EXPECT_EQ(top.status, 0);
  EXPECT_NE(top.out.find("package"), std::string::npos) << top.out;

  ToolResult group = runTool({"package", "--help"});
  EXPECT_EQ(group.status, 0);
  for (const char* command : {"seal FILE", "unseal FILE", "verify FILE", "crc FILE [--skip-trailer]"}) {
    EXPECT_NE(group.out.find(command), std::string::npos) << command << "\n" << group.out;
  }

  ToolResult crc = runTool({"package", "crc", "--help"});
  EXPECT_EQ(crc.status, 0);
  EXPECT_NE(crc.out.find("--skip-trailer"), std::string::npos) << crc.out;
  EXPECT_EQ(crc.err, "");
}

}  // namespace
