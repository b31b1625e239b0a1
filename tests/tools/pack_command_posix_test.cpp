// "axp pack build" over what only POSIX folders hold: two names of one
// packed file that differ only in letter case, and a FIFO.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tools/pack_command_fixture.h"

namespace {

namespace fs = std::filesystem;
using tool_testing::PackCommand;
using tool_testing::writeTree;

TEST_F(PackCommand, BuildRefusesTwoNamesOfOnePackedFile) {
  writeTree(path("src"), {{"a.txt", "abc"}, {"A.TXT", "ABC"}});
  fail({"pack", "build", path("p.axp"), path("src")}, 10);
  EXPECT_FALSE(fs::exists(path("p.axp")));
}

TEST_F(PackCommand, BuildSkipsWhatIsNoFile) {
  writeTree(path("src"), {{"a.txt", "abc"}});
  std::string inside = path("src/self.axp");
  // A pipe is no file to pack (reading it would wait for ever).
  ASSERT_EQ(mkfifo(path("src/pipe").c_str(), 0600), 0);
  succeed({"pack", "build", inside, path("src")});
  EXPECT_EQ(succeed({"pack", "ls", inside}), "a.txt|00000003|6F7100CC\n");
}

}  // namespace
