#include <gtest/gtest.h>

#include <string>

#include "host/process.h"
#include "host/terminal.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;

TEST(Host, ExecutableAndTerminal) {
  const std::string self = host::executablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(self.substr(self.rfind('/') + 1), "host_tests");
  EXPECT_TRUE(platform::pathExists(self));

  TempDir dir;
  platform::File file;
  ASSERT_TRUE(file.open(dir.file("plain"), platform::Access::ReadWrite, platform::Disposition::CreateNew));
  EXPECT_FALSE(host::isTerminal(file.descriptor()));
  EXPECT_EQ(host::terminalColumns(file.descriptor()), 80);
  EXPECT_FALSE(host::isTerminal(-1));
}

}  // namespace
