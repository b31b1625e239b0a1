#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

#include "platform/system.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using platform::Access;
using platform::Disposition;
using platform::File;
using platform::SeekFrom;
using testing_support::TempDir;
using testing_support::readFile;
using testing_support::writeFile;

std::string readAll(File& file, uint32_t length) {
  std::string bytes(length, '\0');
  uint32_t got = 0;
  EXPECT_TRUE(file.read(bytes.data(), length, &got));
  bytes.resize(got);
  return bytes;
}

void writeAll(File& file, const std::string& bytes) {
  uint32_t written = 0;
  ASSERT_TRUE(file.write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written));
  ASSERT_EQ(written, bytes.size());
}

TEST(File, OpenDispositions) {
  TempDir dir;
  const std::string path = dir.file("f.bin");
  File file;
  EXPECT_FALSE(file.open(path, Access::Read, Disposition::ExistingOnly));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::NotFound);
  EXPECT_FALSE(file.isOpen());

  ASSERT_TRUE(file.open(path, Access::ReadWrite, Disposition::CreateNew));
  writeAll(file, "hello");
  ASSERT_TRUE(file.close());

  EXPECT_FALSE(file.open(path, Access::ReadWrite, Disposition::CreateNew));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::AlreadyExists);
  EXPECT_EQ(readFile(path), "hello");

  ASSERT_TRUE(file.open(path, Access::Read, Disposition::ExistingOnly));
  uint32_t written = 7;
  EXPECT_FALSE(file.write("x", 1, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(readAll(file, 100), "hello");
  EXPECT_EQ(readAll(file, 100), "");

  ASSERT_TRUE(file.open(path, Access::ReadWrite, Disposition::CreateAlways));
  EXPECT_EQ(file.size(), 0);

  EXPECT_FALSE(file.open(dir.path(), Access::Read, Disposition::ExistingOnly));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::IsFolder);
}

TEST(File, SeekStaysWithinThirtyTwoBitPositions) {
  TempDir dir;
  File file;
  ASSERT_TRUE(file.open(dir.file("s.bin"), Access::ReadWrite, Disposition::CreateNew));
  writeAll(file, "0123456789");
  uint32_t position = 0;
  ASSERT_TRUE(file.seek(-4, SeekFrom::End, &position));
  EXPECT_EQ(position, 6u);
  EXPECT_EQ(readAll(file, 2), "67");
  ASSERT_TRUE(file.seek(-3, SeekFrom::Current, &position));
  EXPECT_EQ(position, 5u);

  EXPECT_FALSE(file.seek(-6, SeekFrom::Current, &position));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::InvalidArgument);
  EXPECT_FALSE(file.seek(-11, SeekFrom::End));
  EXPECT_FALSE(file.seek(-1, SeekFrom::Begin));
  EXPECT_EQ(file.tell(), 5);

  // Positions past the end are allowed (the file grows on the next write),
  // but not past what 32 bits can name.
  ASSERT_TRUE(file.seek(INT32_MAX, SeekFrom::Begin));
  ASSERT_TRUE(file.seek(INT32_MAX, SeekFrom::Current, &position));
  EXPECT_EQ(position, 0xFFFFFFFEu);
  ASSERT_TRUE(file.seek(1, SeekFrom::Current, &position));
  EXPECT_EQ(position, 0xFFFFFFFFu);
  EXPECT_FALSE(file.seek(1, SeekFrom::Current, &position));
  EXPECT_EQ(testing_support::lastErrorKind(), platform::ErrorKind::OutOfRange);
  EXPECT_EQ(file.tell(), INT64_C(0xFFFFFFFF));
}

TEST(File, TruncateDuplicateAndMove) {
  TempDir dir;
  File file;
  ASSERT_TRUE(file.open(dir.file("t.bin"), Access::ReadWrite, Disposition::CreateAlways));
  writeAll(file, "abcdef");
  ASSERT_TRUE(file.truncate(3));
  EXPECT_EQ(file.size(), 3);
  ASSERT_TRUE(file.truncate(8));
  EXPECT_EQ(platform::fileSize(dir.file("t.bin")), 8);
  ASSERT_TRUE(file.flush());
  EXPECT_TRUE(file.isRegularFile());

  File copy;
  ASSERT_TRUE(file.duplicate(&copy));
  ASSERT_TRUE(copy.seek(1, SeekFrom::Begin));
  EXPECT_EQ(file.tell(), 1);
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readAll(copy, 2), "bc");

  File moved = std::move(copy);
  EXPECT_FALSE(copy.isOpen());
  EXPECT_EQ(readAll(moved, 1), std::string(1, '\0'));
  const size_t open = testing_support::openHandleCount();
  moved = File();
  EXPECT_EQ(testing_support::openHandleCount(), open - 1);
}

TEST(File, PipesReadWholeBuffersAndNeedNoFlush) {
  int ends[2];
  ASSERT_TRUE(testing_support::makePipe(ends));
  File reader = File::adopt(ends[0]);
  File writer = File::adopt(ends[1]);
  EXPECT_FALSE(reader.isRegularFile());

  // The bytes arrive in two pieces; one read still returns all of them.
  std::thread producer([&writer] {
    uint32_t written = 0;
    writer.write("abc", 3, &written);
    platform::sleepMilliseconds(20);
    writer.write("def", 3, &written);
    writer.flush();
  });
  EXPECT_EQ(readAll(reader, 6), "abcdef");
  producer.join();
  EXPECT_TRUE(writer.flush());
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(readAll(reader, 6), "");
}

}  // namespace
