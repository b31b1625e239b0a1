// Checks shared by the tests that stop or fail pack edits part way: the
// tables' soundness, contents read back, further edits and the repair.
#pragma once

#include <optional>
#include <string>

#include "edit_script.h"

namespace crash_testing {

// The file name the test packs have, as the master list names it.
constexpr char kTestPackName[] = "pack.axp";

// Contents shown by size and checksum.
std::string describe(const std::optional<std::string>& bytes);
std::string lastError();
std::optional<std::string> lookUp(const PackContents& contents, const std::string& name);

void expectSound(const std::string& path, const char* when);
void expectContents(const std::optional<std::string>& now, const std::optional<std::string>& expected,
                    const std::string& name, const char* when);

// Inserts files no list names (one large enough to be appended) and checks
// that nothing else changed: whatever state a cut, a failure or a repair
// left, the tables must not let a new block overwrite an old one.
void insertLaterFiles(const EditScenario& scenario, const std::string& path, const char* when);

// Repairs the pack with a master list naming the pool as `contents` holds
// it. The repair must keep exactly the files the pack's own list describes
// (none when that list has no rows; every file of the pool there is when
// the pack has no list, which the repair rebuilds from the master list),
// and the pack must then pass the integrity check.
void checkRepair(const EditScenario& scenario, const PackContents& contents, const std::string& path,
                 const std::string& masterPath);

// Failed parts of the running test so far.
int failureCount();

}  // namespace crash_testing
