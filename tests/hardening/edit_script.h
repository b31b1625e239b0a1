// A reproducible series of edits on one pack, made from a seed, and the
// model of the pack's contents it leads to. The child that is cut runs the
// series; the parent replays the model up to the last step the child
// reported, so neither has to send the other any data.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace AXP {
class IPakFile;
}

namespace crash_testing {

class Journal;

// name as the editing caller spells it -> bytes
using PackContents = std::map<std::string, std::string>;

struct EditStep {
  enum class Kind { Insert, Remove, SaveList, Close };
  Kind kind = Kind::Close;
  std::string name;   // Insert and Remove
  std::string bytes;  // Insert
};

struct EditScenario {
  bool listTracking = false;
  PackContents base;            // the pack before the session, its list naming exactly these
  std::vector<std::string> pool;  // every name the series may touch
  std::vector<EditStep> steps;  // the session, ending with Close
};

// `edits` inserts and removals over a pool of names, of sizes that take
// every path of the block allocator (in place, split, reuse, append, empty
// files, files beyond the stream preload). With list tracking the series
// saves the list now and then.
EditScenario makeEditScenario(uint64_t seed, bool listTracking, size_t edits);

// The contents after `step`.
void applyStep(const EditStep& step, PackContents* contents);

// Writes `scenario.base` into a new pack at `path` with its list, closed.
bool buildBasePack(const std::string& path, const EditScenario& scenario);

// The session the child runs: opens the pack read-write, runs every step
// and records the index of each one that succeeded in `journal`. Returns 0
// when every step succeeded, 1 + the index of a step that failed, or 255
// when the pack did not open. With `goOnAfterFailures` a failed step is
// left out of the journal and the session goes on with the next.
int runEditSession(const std::string& path, const EditScenario& scenario, Journal& journal,
                   bool goOnAfterFailures = false);

}  // namespace crash_testing
