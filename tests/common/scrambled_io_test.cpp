#include "axp/common/scrambled_io.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>
#include <zzip/zzip.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

// The archive's entries: one stored, one deflated.
constexpr char kStoredName[] = "data/stored.bin";
constexpr char kDeflatedName[] = "notes/deflated.txt";

std::string storedContents() {
  std::mt19937 random(3);
  std::string bytes(150000, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

std::string deflatedContents() {
  std::string text;
  for (int line = 0; text.size() < 300000; ++line) text += "line " + std::to_string(line * 7919 % 1000) + " of the notes\n";
  return text;
}

bool havePython() { return std::system("python3 -c 'import zipfile' > /dev/null 2>&1") == 0; }

// Builds a plain ZIP with python's zipfile: an archive this test did not
// write itself.
bool buildZip(const TempDir& dir, const std::string& zipPath) {
  writeFile(dir.file("stored.bin"), storedContents());
  writeFile(dir.file("deflated.txt"), deflatedContents());
  const std::string script = dir.file("make_zip.py");
  writeFile(script,
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
            "    z.write(sys.argv[2], '" + std::string(kStoredName) + "', zipfile.ZIP_STORED)\n"
            "    z.write(sys.argv[3], '" + std::string(kDeflatedName) + "', zipfile.ZIP_DEFLATED)\n");
  const std::string command = "python3 " + script + " " + zipPath + " " + dir.file("stored.bin") + " " +
                              dir.file("deflated.txt");
  return std::system(command.c_str()) == 0;
}

// Reads `length` bytes of an open entry at `offset` through zzip_seek.
std::string readAt(ZZIP_FILE* file, zzip_off_t offset, size_t length) {
  if (zzip_seek(file, offset, SEEK_SET) != offset) return "<seek failed>";
  std::string bytes(length, '\0');
  const zzip_ssize_t done = zzip_file_read(file, bytes.data(), length);
  if (done < 0) return "<read failed>";
  bytes.resize(static_cast<size_t>(done));
  return bytes;
}

void expectEntryReadsBackAndForth(ZZIP_DIR* dir, const char* name, const std::string& expected) {
  ZZIP_FILE* file = zzip_file_open(dir, name, 0);
  ASSERT_NE(file, nullptr) << name;
  std::string whole(expected.size() + 10, '\0');
  EXPECT_EQ(zzip_file_read(file, whole.data(), whole.size()), static_cast<zzip_ssize_t>(expected.size())) << name;
  whole.resize(expected.size());
  EXPECT_TRUE(whole == expected) << name;
  for (size_t offset : {expected.size() - 1000, size_t{17}, expected.size() / 2, size_t{0}, size_t{70000}}) {
    EXPECT_TRUE(readAt(file, static_cast<zzip_off_t>(offset), 1000) == expected.substr(offset, 1000))
        << name << " at " << offset;
  }
  zzip_file_close(file);
}

TEST(ScrambledIo, ReadDescramblesByFileOffsetWhereverItStarts) {
  TempDir dir;
  const std::string path = dir.file("keyed.bin");
  const std::string plain = storedContents().substr(0, 5000);
  writeFile(path, plain);
  ASSERT_TRUE(AXP::toggleScrambling(path, false));

  AXP::initScrambledIo();
  const zzip_plugin_io_t io = AXP::scrambledIo();
  const int fd = io->fd.open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  for (size_t offset : {0u, 1u, 255u, 256u, 300u, 4000u}) {
    for (size_t length : {1u, 7u, 256u, 257u, 999u}) {
      ASSERT_EQ(io->fd.seeks(fd, static_cast<zzip_off_t>(offset), SEEK_SET), static_cast<zzip_off_t>(offset));
      std::string bytes(length, '\0');
      ASSERT_EQ(io->fd.read(fd, bytes.data(), length), static_cast<zzip_ssize_t>(length));
      ASSERT_TRUE(bytes == plain.substr(offset, length)) << offset << "+" << length;
    }
  }
  // The end of the file passes through.
  std::string rest(100, '\0');
  ASSERT_EQ(io->fd.seeks(fd, 4990, SEEK_SET), 4990);
  EXPECT_EQ(io->fd.read(fd, rest.data(), rest.size()), 10);
  EXPECT_EQ(io->fd.read(fd, rest.data(), rest.size()), 0);
  io->fd.close(fd);

  // Where the offset cannot be known the bytes cannot be descrambled: the
  // read fails rather than hand them on keyed.
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ASSERT_EQ(::write(pipeEnds[1], "PK", 2), 2);
  EXPECT_EQ(AXP::scrambledRead(pipeEnds[0], rest.data(), 2), -1);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

TEST(ScrambledIo, ZipReaderReadsAScrambledArchiveInPlace) {
  if (!havePython()) GTEST_SKIP() << "python3 with zipfile is needed to build the archive";
  TempDir dir;
  const std::string path = dir.file("package.zip");
  ASSERT_TRUE(buildZip(dir, path));
  ASSERT_TRUE(AXP::toggleScrambling(path, false));

  zzip_error_t error = ZZIP_NO_ERROR;
  ZZIP_DIR* plainView = zzip_dir_open_ext_io(path.c_str(), &error, nullptr, zzip_get_default_io());
  EXPECT_EQ(plainView, nullptr) << "the scrambled file still reads as a plain ZIP";
  if (plainView != nullptr) zzip_dir_close(plainView);

  AXP::initScrambledIo();
  ZZIP_DIR* archive = zzip_dir_open_ext_io(path.c_str(), &error, nullptr, AXP::scrambledIo());
  ASSERT_NE(archive, nullptr) << "ziperr=" << error;
  expectEntryReadsBackAndForth(archive, kStoredName, storedContents());
  expectEntryReadsBackAndForth(archive, kDeflatedName, deflatedContents());
  zzip_dir_close(archive);
}

TEST(ScrambledIo, ProbeTellsScrambledFromPlain) {
  TempDir dir;
  const std::string plain = dir.file("plain.zip");
  writeFile(plain, std::string("PK\x03\x04", 4) + std::string(100, 'z'));
  EXPECT_FALSE(AXP::isScrambledZip(plain));

  const std::string scrambled = dir.file("scrambled.zip");
  writeFile(scrambled, readFile(plain));
  ASSERT_TRUE(AXP::toggleScrambling(scrambled, false));
  EXPECT_TRUE(AXP::isScrambledZip(scrambled));

  // Two bytes are too few, even when they descramble to "PK".
  const std::string tiny = dir.file("tiny.zip");
  writeFile(tiny, readFile(scrambled).substr(0, 2));
  EXPECT_FALSE(AXP::isScrambledZip(tiny));

  const std::string missing = dir.file("missing.zip");
  EXPECT_FALSE(AXP::isScrambledZip(missing));
  EXPECT_EQ(AXP::getLastErrorCode(), AXP::OpenFailed);
  EXPECT_EQ(std::string(AXP::getLastErrorMessage()), "File=" + missing + ", WinErr=2");
}

}  // namespace
