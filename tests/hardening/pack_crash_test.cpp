// A pack edited by a process that is killed part way. Each edit writes its
// data first, then the records that make the data reachable, and releases
// what it replaced last; every returned edit is on disk. So after any cut:
// - every edit that returned reads back exactly;
// - the one edit in flight shows its old state or its new one, except that
//   a file whose new contents were written over the old ones in its own
//   block may hold a mix of both (of the old or the new length); the list
//   is never rewritten in place;
// - the tables stay sound (no overlapping blocks, no entry naming a block
//   outside the table or a free block), so further edits cannot overwrite
//   anything;
// - the repair makes the pack agree with its list again, keeping every
//   file whose content its list row still describes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "axp/pack/pack_file.h"
#include "cut_runner.h"
#include "edit_script.h"
#include "hardening_support.h"
#include "pack_checks.h"
#include "package_builder.h"
#include "support/temp_dir.h"

namespace crash_testing {
namespace {

constexpr size_t kEditsPerSession = 36;
constexpr size_t kDefaultCutsPerScenario = 42;
// Children cut at the same time.
constexpr size_t kBatch = 4;
// After this many damaged cuts a scenario stops: the first ones tell all.
constexpr size_t kFailuresShown = 3;

struct Calibration {
  uint64_t writes = 0;
  uint64_t microseconds = 0;
};

// What the reported steps leave: the contents, the list the pack holds and
// the step that was cut (none when the session ended).
struct ExpectedState {
  PackContents contents;
  PackContents savedList;
  const EditStep* inFlight = nullptr;
};

ExpectedState replay(const EditScenario& scenario, size_t completed) {
  ExpectedState state;
  state.contents = scenario.base;
  state.savedList = scenario.base;
  for (size_t i = 0; i < completed; ++i) {
    applyStep(scenario.steps[i], &state.contents);
    if (scenario.steps[i].kind == EditStep::Kind::SaveList) state.savedList = state.contents;
  }
  if (completed < scenario.steps.size()) state.inFlight = &scenario.steps[completed];
  return state;
}

bool fitsBlockOf(size_t size, size_t holder) {
  return AXP::allocatedSize(static_cast<uint32_t>(size)) <= AXP::allocatedSize(static_cast<uint32_t>(holder));
}

// What the name in flight may read as after the cut: its old or its new
// state. New contents that fit the block the name holds are written over
// the old ones in place, so such a file may read as a mix of both, of
// either length.
void expectInFlightOutcome(const EditStep& step, const std::optional<std::string>& before,
                           const std::optional<std::string>& now) {
  const std::optional<std::string> after =
      step.kind == EditStep::Kind::Insert ? std::optional<std::string>(step.bytes) : std::nullopt;
  if (now == before || now == after) return;
  const bool mayBeInPlace = before.has_value() && after.has_value() && fitsBlockOf(after->size(), before->size());
  if (mayBeInPlace && now.has_value() && (now->size() == before->size() || now->size() == after->size())) return;
  ADD_FAILURE() << "the edit in flight left " << step.name << " " << describe(now) << ", not "
                << describe(before) << " or " << describe(after);
}

// Every returned edit reads back; the one in flight as it may. The list is
// never rewritten in place, so it is the one last saved or, while a save
// was in flight, the new one.
void checkAfterCut(const EditScenario& scenario, const ExpectedState& state, const std::string& path) {
  expectSound(path, "after the cut");
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), false)) << lastError();
  const std::string inFlightName = state.inFlight == nullptr ? std::string() : state.inFlight->name;
  for (const std::string& name : scenario.pool) {
    const std::optional<std::string> now = readPacked(&pack, name);
    if (name == inFlightName) {
      expectInFlightOutcome(*state.inFlight, lookUp(state.contents, name), now);
    } else {
      expectContents(now, lookUp(state.contents, name), name, "after the cut");
    }
  }
  const std::optional<std::string> list = readPacked(&pack, AXP::kListFileName);
  const bool savingList = state.inFlight != nullptr && state.inFlight->kind == EditStep::Kind::SaveList;
  const std::string saved = listText(savingList && list == listText(state.contents) ? state.contents : state.savedList);
  expectContents(list, saved, AXP::kListFileName, "after the cut");
}

Calibration calibrate(const EditScenario& scenario, const std::string& base, const ScratchFolder& folder) {
  const std::string path = folder.file("calibration.axp");
  testing_support::writeFile(path, testing_support::readFile(base));
  const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  Journal journal(sink);
  const uint64_t writes = writesSoFar();
  const uint64_t start = microsecondsNow();
  EXPECT_EQ(runEditSession(path, scenario, journal), 0) << "the uncut session must succeed";
  Calibration calibration{writesSoFar() - writes, microsecondsNow() - start};
  ::close(sink);
  return calibration;
}

struct Tally {
  size_t cuts = 0;
  size_t damaged = 0;
};

void runScenario(uint64_t seed, bool listTracking, Tally* tally) {
  const EditScenario scenario = makeEditScenario(seed, listTracking, kEditsPerSession);
  ScratchFolder folder;
  const std::string base = folder.file("base.axp");
  ASSERT_TRUE(buildBasePack(base, scenario));
  const Calibration calibration = calibrate(scenario, base, folder);
  const std::vector<CutPlan> plans =
      spreadCuts(seed, calibration.writes, calibration.microseconds, cutsPerRun(kDefaultCutsPerScenario));
  const std::string baseBytes = testing_support::readFile(base);
  size_t damaged = 0;
  for (size_t first = 0; first < plans.size() && damaged < kFailuresShown; first += kBatch) {
    std::vector<CutPlan> batch(plans.begin() + static_cast<long>(first),
                               plans.begin() + static_cast<long>(std::min(plans.size(), first + kBatch)));
    std::vector<std::string> folders;
    std::vector<ChildWork> work;
    for (size_t i = 0; i < batch.size(); ++i) {
      folders.push_back(folder.file("cut" + std::to_string(i)));
      const std::string path = folders.back() + "/game/" + kTestPackName;
      testing_support::writeFile(path, baseBytes);
      work.push_back([&scenario, path](Journal& journal) { return runEditSession(path, scenario, journal); });
    }
    const std::vector<CutOutcome> outcomes = runCut(batch, work, folders);
    for (size_t i = 0; i < batch.size(); ++i) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (listTracking ? ", list tracking, " : ", no tracking, ") +
                   batch[i].describe() + ", " + std::to_string(outcomes[i].journal.size()) + " steps returned");
      const int failuresBefore = failureCount();
      const CutOutcome& outcome = outcomes[i];
      ASSERT_TRUE(outcome.killed || outcome.exitCode == 0)
          << "the session failed by itself: exit " << outcome.exitCode << ", signal " << outcome.otherSignal;
      for (size_t step = 0; step < outcome.journal.size(); ++step) ASSERT_EQ(outcome.journal[step], step);
      const ExpectedState state = replay(scenario, outcome.journal.size());
      const std::string path = folders[i] + "/game/" + kTestPackName;
      checkAfterCut(scenario, state, path);
      insertLaterFiles(scenario, path, "after edits following the cut");
      checkRepair(scenario, state.contents, path, folders[i] + "/master.txt");
      insertLaterFiles(scenario, path, "after edits following the repair");
      ++tally->cuts;
      if (failureCount() != failuresBefore) {
        ++tally->damaged;
        ++damaged;
      }
    }
  }
}

TEST(PackCrash, EveryCutLeavesReturnedEditsIntactAndTheRepairSound) {
  Tally tally;
  for (uint64_t seed : {11u, 23u, 37u, 41u}) {
    for (bool listTracking : {false, true}) runScenario(seed, listTracking, &tally);
  }
  std::cout << "[ pack cuts ] " << tally.cuts - tally.damaged << " of " << tally.cuts << " cuts survived\n";
  EXPECT_EQ(tally.damaged, 0u);
}

}  // namespace
}  // namespace crash_testing
