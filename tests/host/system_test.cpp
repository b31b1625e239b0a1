#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "host/process.h"
#include "host/terminal.h"
#include "host/text_encoding.h"
#include "platform/file.h"
#include "platform/path.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;

TEST(Host, ExecutableAndTerminal) {
  const std::string self = host::executablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.substr(platform::findFileName(self)), std::string("host_tests") + testing_support::kProgramSuffix);
  EXPECT_TRUE(platform::pathExists(self));

  TempDir dir;
  platform::File file;
  ASSERT_TRUE(file.open(dir.file("plain"), platform::Access::ReadWrite, platform::Disposition::CreateNew));
  EXPECT_FALSE(host::isTerminal(file.descriptor()));
  EXPECT_EQ(host::terminalColumns(file.descriptor()), 80);
  EXPECT_FALSE(host::isTerminal(-1));
  EXPECT_FALSE(host::beginKeyMode(-1));
}

// Input that is no terminal still arrives: waited for with a time limit,
// and its end told apart from a wait that ran out.
TEST(Host, InputFromAPipe) {
  int ends[2];
  ASSERT_TRUE(testing_support::makePipe(ends));
  platform::File reader = platform::File::adopt(ends[0]);
  platform::File writer = platform::File::adopt(ends[1]);
  char bytes[16] = {};
  EXPECT_EQ(host::readInput(ends[0], bytes, sizeof bytes, 30), 0);
  std::thread typist([&writer] {
    uint32_t done = 0;
    writer.write("s\n", 2, &done);
  });
  EXPECT_EQ(host::readInput(ends[0], bytes, sizeof bytes, -1), 2);
  EXPECT_EQ(std::string(bytes, 2), "s\n");
  typist.join();
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(host::readInput(ends[0], bytes, sizeof bytes, 1000), -1);
}

TEST(Host, GbkTextBecomesUtf8) {
  std::string utf8 = "untouched";
  ASSERT_TRUE(host::ansiToUtf8("\xb5\xd8\xcd\xbc.dat", &utf8));
  EXPECT_EQ(utf8, "\xe5\x9c\xb0\xe5\x9b\xbe.dat");  // 地图.dat
  ASSERT_TRUE(host::ansiToUtf8("", &utf8));
  EXPECT_EQ(utf8, "");
  utf8 = "untouched";
  EXPECT_FALSE(host::ansiToUtf8("\x81", &utf8)) << "a lead byte without its second byte";
  EXPECT_EQ(utf8, "untouched");
}

}  // namespace
