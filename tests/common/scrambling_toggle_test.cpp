#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "axp/common/error_record.h"
#include "axp/common/scrambled_io.h"
#include "support/scoped_environment.h"
#include "support/temp_dir.h"

namespace {

using testing_support::randomBytes;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

std::string keyed(const std::string& bytes) {
  std::string result = bytes;
  for (size_t i = 0; i < result.size(); ++i) result[i] = static_cast<char>(result[i] ^ AXP::keyByte(static_cast<uint32_t>(i)));
  return result;
}

// Points the temporary folder at a folder of the test's own, so the work
// files left behind can be counted.
class ScramblingToggle : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(tempFolder());
    tmpdir_.emplace(testing_support::kTempFolderVariable, tempFolder().c_str());
  }
  void TearDown() override { tmpdir_.reset(); }
  std::string tempFolder() const { return dir_.file("tmp"); }
  size_t workFilesLeft() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(tempFolder()),
                                             std::filesystem::directory_iterator()));
  }

  TempDir dir_;

 private:
  std::optional<testing_support::ScopedEnvironment> tmpdir_;
};

TEST(KeyStream, FirstBytesAreKeyedAndThePeriodIs256) {
  EXPECT_NE(AXP::keyByte(0), 0);
  EXPECT_NE(AXP::keyByte(1), 0);
  for (uint32_t p = 0; p < 1024; ++p) ASSERT_EQ(AXP::keyByte(p), AXP::keyByte(p + 256 * 12345)) << p;
}

TEST_F(ScramblingToggle, KeysEveryByteByItsOffsetAndTwiceGivesTheFileBack) {
  // Longer than the work buffer, so the key phase must carry across reads.
  const std::string original = randomBytes(200001, 1);
  const std::string path = dir_.file("package.zip");
  writeFile(path, original);

  ASSERT_TRUE(AXP::toggleScrambling(path, false));
  EXPECT_EQ(readFile(path), keyed(original));
  ASSERT_TRUE(AXP::toggleScrambling(path, false));
  EXPECT_EQ(readFile(path), original);
  EXPECT_EQ(workFilesLeft(), 0u);
}

TEST_F(ScramblingToggle, KeepsTheFilesPermissions) {
  const std::string path = dir_.file("package.zip");
  writeFile(path, randomBytes(5000, 3));
  const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                    std::filesystem::perms::group_read | std::filesystem::perms::others_read;
  std::filesystem::permissions(path, mode);

  ASSERT_TRUE(AXP::toggleScrambling(path, false));
  EXPECT_EQ(std::filesystem::status(path).permissions(), mode);
}

TEST_F(ScramblingToggle, DropTrailerLeavesOutTheLastFourBytes) {
  for (size_t size : {1027u, 5u, 65539u, 65540u, 65541u}) {
    const std::string original = randomBytes(size, static_cast<unsigned>(size));
    const std::string path = dir_.file("sealed.zip");
    writeFile(path, original);
    ASSERT_TRUE(AXP::toggleScrambling(path, true)) << size;
    EXPECT_EQ(readFile(path), keyed(original).substr(0, size - 4)) << size;
  }
  EXPECT_EQ(workFilesLeft(), 0u);
}

TEST_F(ScramblingToggle, FailuresReportAndLeaveNoWorkFile) {
  const std::string small = dir_.file("small.zip");
  writeFile(small, "1234");
  EXPECT_FALSE(AXP::toggleScrambling(small, true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "File=" + small + "(too small)");
  EXPECT_EQ(readFile(small), "1234");

  const std::string missing = dir_.file("missing.zip");
  EXPECT_FALSE(AXP::toggleScrambling(missing, false));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "File=" + missing + ", WinErr=2");
  EXPECT_EQ(workFilesLeft(), 0u);

  // A success afterwards leaves the record of the last failure alone.
  EXPECT_TRUE(AXP::toggleScrambling(small, false));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
}

TEST_F(ScramblingToggle, SameNamedFilesInDifferentFoldersToggleAtOnce) {
  const std::string first = dir_.file("one/package.zip");
  const std::string second = dir_.file("two/package.zip");
  const std::string firstBytes = randomBytes(1 << 20, 11);
  const std::string secondBytes = randomBytes((1 << 20) + 77, 12);
  writeFile(first, firstBytes);
  writeFile(second, secondBytes);

  // An odd number of toggles each: both must end up scrambled, each with
  // its own bytes.
  constexpr int kRounds = 9;
  bool firstOk = true;
  bool secondOk = true;
  std::thread worker([&] {
    for (int i = 0; i < kRounds; ++i) firstOk = AXP::toggleScrambling(first, false) && firstOk;
  });
  for (int i = 0; i < kRounds; ++i) secondOk = AXP::toggleScrambling(second, false) && secondOk;
  worker.join();

  EXPECT_TRUE(firstOk);
  EXPECT_TRUE(secondOk);
  EXPECT_EQ(readFile(first), keyed(firstBytes));
  EXPECT_EQ(readFile(second), keyed(secondBytes));
  EXPECT_EQ(workFilesLeft(), 0u);
}

}  // namespace
