#include "axp/common/scrambled_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "axp/common/error_record.h"
#include "axp/common/package_reader.h"
#include "support/system_files.h"
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

// Reads `length` bytes of an open entry at `offset` after seeking there.
std::string readAt(AXP::PackageEntryReader& entry, uint32_t offset, uint32_t length) {
  if (!entry.seek(offset) || entry.tell() != offset) return "<seek failed>";
  std::string bytes(length, '\0');
  const int64_t done = entry.read(bytes.data(), length);
  if (done < 0) return "<read failed>";
  bytes.resize(static_cast<size_t>(done));
  return bytes;
}

void expectEntryReadsBackAndForth(AXP::PackageReader& archive, const char* name, const std::string& expected) {
  const AXP::PackageEntryInfo* info = archive.find(name);
  ASSERT_NE(info, nullptr) << name;
  AXP::PackageEntryReader entry(archive);
  ASSERT_TRUE(entry.open(*info)) << name;
  std::string whole(expected.size() + 10, '\0');
  EXPECT_EQ(entry.read(whole.data(), static_cast<uint32_t>(whole.size())), static_cast<int64_t>(expected.size()))
      << name;
  whole.resize(expected.size());
  EXPECT_TRUE(whole == expected) << name;
  for (size_t offset : {expected.size() - 1000, size_t{17}, expected.size() / 2, size_t{0}, size_t{70000}}) {
    EXPECT_TRUE(readAt(entry, static_cast<uint32_t>(offset), 1000) == expected.substr(offset, 1000))
        << name << " at " << offset;
  }
}

TEST(ScrambledIo, ReadDescramblesByFileOffsetWhereverItStarts) {
  TempDir dir;
  const std::string path = dir.file("keyed.bin");
  const std::string plain = storedContents().substr(0, 5000);
  writeFile(path, plain);
  ASSERT_TRUE(AXP::toggleScrambling(path, false));

  AXP::initScrambledIo();
  const AXP::PackageIo* io = AXP::scrambledIo();
  void* handle = io->open(path.c_str());
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(io->size(handle), 5000);
  for (uint32_t offset : {0u, 1u, 255u, 256u, 300u, 4000u}) {
    for (uint32_t length : {1u, 7u, 256u, 257u, 999u}) {
      ASSERT_EQ(io->seek(handle, offset, AXP::IoOrigin::Begin), offset);
      std::string bytes(length, '\0');
      ASSERT_EQ(io->read(handle, bytes.data(), length), length);
      ASSERT_TRUE(bytes == plain.substr(offset, length)) << offset << "+" << length;
    }
  }
  // The end of the file passes through.
  std::string rest(100, '\0');
  ASSERT_EQ(io->seek(handle, -10, AXP::IoOrigin::End), 4990);
  EXPECT_EQ(io->read(handle, rest.data(), 100), 10);
  EXPECT_EQ(io->read(handle, rest.data(), 100), 0);
  EXPECT_TRUE(io->close(handle));

  // Where the offset cannot be known the bytes cannot be descrambled: the
  // read fails rather than hand them on keyed.
  testing_support::PathPipe pipe(dir.path());
  void* pipeHandle = io->open(pipe.path().c_str());
  ASSERT_NE(pipeHandle, nullptr);
  ASSERT_TRUE(pipe.write("PK"));
  EXPECT_EQ(AXP::scrambledRead(pipeHandle, rest.data(), 2), -1);
  io->close(pipeHandle);
}

TEST(ScrambledIo, PackageReaderReadsAScrambledArchiveInPlace) {
  if (!havePython()) GTEST_SKIP() << "python3 with zipfile is needed to build the archive";
  TempDir dir;
  const std::string path = dir.file("package.zip");
  ASSERT_TRUE(buildZip(dir, path));
  ASSERT_TRUE(AXP::toggleScrambling(path, false));

  AXP::PackageReader plainView;
  EXPECT_FALSE(plainView.open(path, AXP::defaultPackageIo())) << "the scrambled file still reads as a plain ZIP";

  AXP::initScrambledIo();
  AXP::PackageReader archive;
  ASSERT_TRUE(archive.open(path, AXP::scrambledIo())) << "ziperr=" << static_cast<int>(archive.error());
  expectEntryReadsBackAndForth(archive, kStoredName, storedContents());
  expectEntryReadsBackAndForth(archive, kDeflatedName, deflatedContents());
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
