// A reader of a pack that another process cuts short under it must stop:
// the reads run in a child that a watchdog alarm ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>

#include "axp/common/error_record.h"
#include "axp/pack/data_stream.h"
#include "axp/pack/pack_file.h"
#include "cut_runner.h"
#include "hardening_support.h"

namespace crash_testing {
namespace {


// Runs `work` in a child that a watchdog ends after `seconds`: the child's
// exit code, or minus the signal that ended it.
int runWatched(unsigned seconds, const std::string& tempFolder, const std::function<int()>& work) {
  const std::vector<CutOutcome> outcome = runCut({CutPlan::none()},
                                                 {[&](Journal&) {
                                                   ::alarm(seconds);
                                                   return work();
                                                 }},
                                                 {tempFolder});
  return outcome[0].otherSignal != 0 ? -outcome[0].otherSignal : outcome[0].exitCode;
}

TEST(EndlessLoops, ListReadersStopWhenThePackShrinksUnderThem) {
  ScratchFolder folder;
  const std::string path = makeListedPack(folder, {{"a.txt", "abc"}});
  // A list read from the pack on demand, beyond the preload limit.
  std::string list = "FFFFFFFF\n0\n";
  for (int row = 0; list.size() <= AXP::kPreloadLimit; ++row) list += "f" + std::to_string(row) + "|00000001|00000002\n";
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false));
    ASSERT_TRUE(pack.insertContents(list.data(), static_cast<uint32_t>(list.size()), AXP::kListFileName, true, true));
  }
  const uint32_t listOffset = [&] {
    AXP::PackFile pack;
    EXPECT_TRUE(pack.open(path.c_str(), true));
    const AXP::BlockEntry* block = nullptr;
    EXPECT_TRUE(pack.getEntryRecords(AXP::kListFileName, nullptr, &block));
    return block == nullptr ? 0u : block->offset;
  }();
  const int result = runWatched(20, folder.path(), [&] {
    AXP::PackFile pack;
    // Another process cuts the pack short under the open pack; every
    // reader of the list then fails with the read's own code.
    const bool cut = pack.open(path.c_str(), true) && ::truncate(path.c_str(), listOffset + 100000) == 0;
    const bool allFailed = !pack.loadList() && !pack.verifyList() && !pack.checkIntegrity();
    return cut && allFailed && AXP::getLastErrorCode() == AXP::ReadFailed ? 0 : 1;
  });
  EXPECT_EQ(result, 0) << (result == -SIGALRM ? "the readers never stopped" : "a reader did not fail");
}

}  // namespace
}  // namespace crash_testing
