// A pack whose writes fail part way (a full disk, say) while a session goes
// on editing and then closes it. An edit that fails has changed its tables
// in memory beyond what reached the disk; neither the later edits nor the
// close may write those records. So after the session the tables are
// sound, every edit that returned reads back, and the repair works, exactly
// as after a process stopped at that point.
#include <gtest/gtest.h>

#include <iostream>
#include <set>

#include "axp/pack/pack_file.h"
#include "edit_script.h"
#include "hardening_support.h"
#include "pack_checks.h"
#include "support/system_files.h"
#include "support/temp_dir.h"
#include "write_faults.h"

namespace crash_testing {
namespace {

constexpr size_t kEditsPerSession = 30;
constexpr size_t kDefaultFailuresPerScenario = 40;

// Runs the session in this process with the `failing`-th write failing
// (0: none); the indices of the steps that returned true.
std::set<uint32_t> sessionWithFailure(const std::string& path, const EditScenario& scenario, uint64_t failing,
                                      uint64_t* writes) {
  int ends[2];
  if (!testing_support::makePipe(ends)) return {};
  const uint64_t before = writesSoFar();
  {
    Journal journal(ends[1]);
    failWrite(failing);
    runEditSession(path, scenario, journal, true);
    failWrite(0);
  }
  *writes = writesSoFar() - before;
  ::close(ends[1]);
  std::set<uint32_t> returned;
  uint32_t index = 0;
  while (::read(ends[0], &index, sizeof index) == sizeof index) returned.insert(index);
  ::close(ends[0]);
  return returned;
}

// Contents the returned steps leave, and the names a failed step may have
// left in any state (until a later step on the name returned).
void replay(const EditScenario& scenario, const std::set<uint32_t>& returned, PackContents* contents,
            std::set<std::string>* uncertain) {
  *contents = scenario.base;
  for (uint32_t index = 0; index < scenario.steps.size(); ++index) {
    const EditStep& step = scenario.steps[index];
    if (returned.count(index) != 0) {
      applyStep(step, contents);
      uncertain->erase(step.name);
    } else if (step.kind == EditStep::Kind::Insert || step.kind == EditStep::Kind::Remove) {
      uncertain->insert(step.name);
    }
  }
}

void checkAfterFailure(const EditScenario& scenario, const PackContents& contents,
                       const std::set<std::string>& uncertain, const std::string& path) {
  expectSound(path, "after the session");
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false)) << lastError();
  for (const std::string& name : scenario.pool) {
    if (uncertain.count(name) == 0) expectContents(readPacked(&pack, name), lookUp(contents, name), name, "returned");
  }
}

TEST(PackWriteFailure, AFailedWriteLeavesTheTablesAsTheDiskHasThem) {
  size_t runs = 0;
  size_t failedSteps = 0;
  for (uint64_t seed : {5u, 17u}) {
    for (bool listTracking : {false, true}) {
      const EditScenario scenario = makeEditScenario(seed, listTracking, kEditsPerSession);
      ScratchFolder folder;
      const std::string base = folder.file("base.axp");
      ASSERT_TRUE(buildBasePack(base, scenario));
      const std::string baseBytes = testing_support::readFile(base);
      const std::string path = folder.file("game/") + kTestPackName;
      testing_support::writeFile(path, baseBytes);
      uint64_t writes = 0;
      ASSERT_EQ(sessionWithFailure(path, scenario, 0, &writes).size(), scenario.steps.size());
      const size_t count = cutsPerRun(kDefaultFailuresPerScenario);
      for (size_t i = 0; i < count; ++i) {
        const uint64_t failing = 1 + i * writes / count;
        SCOPED_TRACE("seed " + std::to_string(seed) + (listTracking ? ", list tracking" : ", no tracking") +
                     ", write " + std::to_string(failing) + " of " + std::to_string(writes) + " fails");
        testing_support::writeFile(path, baseBytes);
        uint64_t ignored = 0;
        const std::set<uint32_t> returned = sessionWithFailure(path, scenario, failing, &ignored);
        failedSteps += scenario.steps.size() - returned.size();
        PackContents contents;
        std::set<std::string> uncertain;
        replay(scenario, returned, &contents, &uncertain);
        checkAfterFailure(scenario, contents, uncertain, path);
        insertLaterFiles(scenario, path, "after edits following the failure");
        checkRepair(scenario, contents, path, folder.file("master.txt"));
        ++runs;
      }
    }
  }
  std::cout << "[ write failures ] " << runs << " sessions, " << failedSteps << " steps failed in them\n";
}

}  // namespace
}  // namespace crash_testing
