#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/work_file.h"
#include "support/folder_listing.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::namesStartingWith;
using testing_support::writeFile;

// Within an operation the search for a killed writer's work file lists the
// folder once: what others plant later goes unseen, while every name the
// Env itself creates or removes is found (or no longer found), and a live
// work file, locked by its writer, is never taken for a leftover.
TEST(WorkFile, AnOperationFindsLeftoversThroughItsOwnChanges) {
  TempDir dir;
  const std::string before = platform::scratchNameFor("a.bin");
  const std::string other = platform::scratchNameFor("b.bin");
  const std::string late = platform::scratchNameFor("a.bin");
  writeFile(dir.file(before), "");
  writeFile(dir.file(other), "");
  {
    platform::ScopedOperation operation;
    platform::WorkFile first;
    ASSERT_TRUE(first.createBelow(dir.path(), "a.bin"));
    EXPECT_FALSE(platform::pathExists(dir.file(before)));
    EXPECT_TRUE(platform::pathExists(dir.file(other)));

    writeFile(dir.file(late), "");
    const std::string own = platform::scratchNameFor("a.bin");
    platform::File killed;
    ASSERT_TRUE(killed.open(dir.file(own), platform::Access::ReadWrite, platform::Disposition::CreateNew));
    ASSERT_TRUE(killed.close());
    platform::WorkFile second;
    ASSERT_TRUE(second.createBelow(dir.path(), "a.bin"));
    EXPECT_FALSE(platform::pathExists(dir.file(own))) << "a name the Env made went unseen";
    EXPECT_TRUE(platform::pathExists(dir.file(late))) << "the folder was listed again";
    EXPECT_EQ(namesStartingWith(dir.path(), ".a.bin.").size(), 2u) << "a live work file was removed";

    platform::WorkFile third;
    ASSERT_TRUE(third.create(dir.file("b.bin")));
    EXPECT_FALSE(platform::pathExists(dir.file(other)));
    ASSERT_TRUE(first.commit() && third.commit());
    second.discard();
    EXPECT_TRUE(namesStartingWith(dir.path(), ".").empty()) << "a removed name is still found";
  }
  EXPECT_EQ(namesStartingWith(dir.path(), ".a.bin."), std::vector<std::string>{late});
  platform::WorkFile after;
  ASSERT_TRUE(after.createBelow(dir.path(), "a.bin"));
  EXPECT_FALSE(platform::pathExists(dir.file(late)));
}

}  // namespace
