#include "axp/common/package_seal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/common/scrambled_io.h"
#include "support/temp_dir.h"

namespace {

using testing_support::randomBytes;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

uint32_t checksumOf(const std::string& bytes) { return AXP::crcBuffer(bytes.data(), bytes.size()); }

TEST(PackageSeal, FileChecksumAcrossPieceBoundaries) {
  TempDir dir;
  const std::string path = dir.file("data.bin");
  // The trailer lies wholly in the last piece, straddles two pieces, or
  // the file ends exactly on a piece boundary.
  for (size_t size : {0u, 3u, 4u, 5u, 4096u, 4097u, 4099u, 4100u, 4101u, 8192u, 12345u}) {
    const std::string bytes = randomBytes(size, static_cast<unsigned>(size));
    writeFile(path, bytes);
    uint32_t whole = 0;
    uint32_t skipped = 0;
    ASSERT_TRUE(AXP::crcFile(path, &whole, false));
    ASSERT_TRUE(AXP::crcFile(path, &skipped, true));
    EXPECT_EQ(whole, checksumOf(bytes)) << size;
    EXPECT_EQ(skipped, checksumOf(bytes.substr(0, size > 4 ? size - 4 : 0))) << size;
  }
}

TEST(PackageSeal, AppendThenCheckAndAnyChangedByteBreaksTheSeal) {
  TempDir dir;
  const std::string path = dir.file("package.zip");
  const std::string bytes = randomBytes(10000, 5);
  writeFile(path, bytes);
  ASSERT_TRUE(AXP::appendChecksumTrailer(path));
  const std::string sealed = readFile(path);
  ASSERT_EQ(sealed.size(), bytes.size() + 4);
  const uint32_t c = checksumOf(bytes);
  EXPECT_EQ(sealed.substr(bytes.size()), std::string({static_cast<char>(c), static_cast<char>(c >> 8),
                                                      static_cast<char>(c >> 16), static_cast<char>(c >> 24)}));
  EXPECT_TRUE(AXP::checkChecksumTrailer(path));

  for (size_t at : {size_t{0}, size_t{4095}, bytes.size() - 1, bytes.size() + 3}) {
    std::string changed = sealed;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    writeFile(path, changed);
    EXPECT_FALSE(AXP::checkChecksumTrailer(path)) << at;
  }
}

TEST(PackageSeal, ShortFiles) {
  TempDir dir;
  const std::string path = dir.file("short.bin");
  // Four bytes: the trailer of nothing, whose checksum is 0.
  writeFile(path, std::string(4, '\0'));
  EXPECT_TRUE(AXP::checkChecksumTrailer(path));
  writeFile(path, std::string("\0\0\0\1", 4));
  EXPECT_FALSE(AXP::checkChecksumTrailer(path));

  AXP::reportError(AXP::NotFound, "before");
  writeFile(path, "abc");
  EXPECT_FALSE(AXP::checkChecksumTrailer(path));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::NotFound) << "a 3-byte file is refused without a report";
}

// A package's end tells a sealed package from a plain one (the archive's
// end record ends the file) and from a damaged one. The patch program
// takes only sealed packages; an apply by hand takes plain ones too.
TEST(PackageSeal, SealedPlainAndDamagedPackagesAreToldApart) {
  TempDir dir;
  const std::string path = dir.file("package");
  const std::string emptyArchive = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  auto stateOf = [&](const std::string& bytes) {
    writeFile(path, bytes);
    AXP::SealState state = AXP::SealState::Damaged;
    EXPECT_TRUE(AXP::examineSeal(path, &state)) << AXP::getLastErrorMessage();
    return state;
  };
  writeFile(path, emptyArchive);
  ASSERT_TRUE(AXP::toggleScrambling(path, false) && AXP::appendChecksumTrailer(path));
  const std::string sealed = readFile(path);

  EXPECT_EQ(stateOf(emptyArchive), AXP::SealState::Plain);
  EXPECT_TRUE(AXP::checkPackageSeal(path, false));
  EXPECT_FALSE(AXP::checkPackageSeal(path, true));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadData);
  EXPECT_EQ(AXP::getLastErrorMessage(), "File=" + path + "(no checksum trailer)");

  EXPECT_EQ(stateOf(sealed), AXP::SealState::Sealed);
  EXPECT_TRUE(AXP::checkPackageSeal(path, true));

  std::string flipped = sealed;
  flipped[10] ^= 0x01;
  EXPECT_EQ(stateOf(flipped), AXP::SealState::Damaged);
  EXPECT_FALSE(AXP::checkPackageSeal(path, false));
  EXPECT_EQ(AXP::getLastErrorMessage(), "File=" + path + "(checksum trailer mismatch)");
  for (size_t cut = 1; cut <= 5; ++cut) {
    EXPECT_EQ(stateOf(sealed.substr(0, sealed.size() - cut)),
              cut == 4 ? AXP::SealState::Plain : AXP::SealState::Damaged)
        << cut << " bytes cut off";
  }
}

TEST(PackageSeal, FailuresReport) {
  TempDir dir;
  const std::string missing = dir.file("missing.zip");
  uint32_t checksum = 0;
  EXPECT_FALSE(AXP::crcFile(missing, &checksum, false));
  EXPECT_EQ(checksum, 0xFFFFFFFFu);
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::ReadFailed);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "winErr=2");

  EXPECT_FALSE(AXP::checkChecksumTrailer(missing));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::ReadFailed);

  EXPECT_FALSE(AXP::appendChecksumTrailer(""));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::BadArgument);
  EXPECT_STREQ(AXP::getLastErrorMessage(), "");

  // A folder opens for nothing: the checksum cannot be taken.
  EXPECT_FALSE(AXP::appendChecksumTrailer(dir.path()));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::ReadFailed);
}

}  // namespace
