#include "edit_script.h"

#include <random>

#include "axp/pack/pack_file.h"
#include "hardening_support.h"
#include "write_faults.h"

namespace crash_testing {
namespace {

constexpr size_t kPoolSize = 14;
constexpr size_t kBaseFiles = 8;
// With list tracking the list is saved after about this many edits.
constexpr uint64_t kSaveEvery = 9;
// Exit code of a session whose pack did not open.
constexpr int kOpenFailed = 255;
// Files beyond this are read from the pack on demand rather than preloaded.
constexpr uint32_t kBeyondPreload = 520000;

std::vector<std::string> namePool() {
  std::vector<std::string> pool;
  for (size_t i = 0; i < kPoolSize; ++i) {
    // Mixed spellings: the pack looks names up normalised, the list keeps
    // them as written.
    pool.push_back((i % 3 == 0 ? "Data\\Tile" : "data/tile") + std::to_string(i) + (i % 2 ? ".dds" : ".bin"));
  }
  return pool;
}

// Sizes around the 256-byte granule, near the previous size (a rewrite in
// place), small, medium, large and now and then beyond the preload limit.
uint32_t pickSize(std::mt19937_64& random, const std::string* previous) {
  switch (random() % 10) {
    case 0: {
      static constexpr uint32_t kEdges[] = {0, 1, 255, 256, 257, 511, 512, 513};
      return kEdges[random() % std::size(kEdges)];
    }
    case 1:
    case 2:
      if (previous != nullptr) {
        const uint32_t size = static_cast<uint32_t>(previous->size());
        const uint32_t delta = static_cast<uint32_t>(random() % 96);
        return random() % 2 && size > delta ? size - delta : size + delta;
      }
      return static_cast<uint32_t>(random() % 2000);
    case 3:
    case 4:
      return static_cast<uint32_t>(random() % 2000);
    case 5:
    case 6:
    case 7:
      return 2000 + static_cast<uint32_t>(random() % 30000);
    case 8:
      return 30000 + static_cast<uint32_t>(random() % 90000);
    default:
      return random() % 5 == 0 ? kBeyondPreload + static_cast<uint32_t>(random() % 40000)
                               : static_cast<uint32_t>(random() % 700);
  }
}

}  // namespace

EditScenario makeEditScenario(uint64_t seed, bool listTracking, size_t edits) {
  std::mt19937_64 random(seed);
  EditScenario scenario;
  scenario.listTracking = listTracking;
  scenario.pool = namePool();
  for (size_t i = 0; i < kBaseFiles; ++i) {
    const std::string& name = scenario.pool[random() % kPoolSize];
    scenario.base[name] = sampleBytes(pickSize(random, nullptr), random());
  }
  PackContents model = scenario.base;
  for (size_t i = 0; i < edits; ++i) {
    EditStep step;
    if (!model.empty() && random() % 4 == 0) {
      auto victim = model.begin();
      std::advance(victim, static_cast<long>(random() % model.size()));
      step.kind = EditStep::Kind::Remove;
      step.name = victim->first;
    } else {
      step.kind = EditStep::Kind::Insert;
      step.name = scenario.pool[random() % kPoolSize];
      auto previous = model.find(step.name);
      step.bytes = sampleBytes(pickSize(random, previous == model.end() ? nullptr : &previous->second), random());
    }
    applyStep(step, &model);
    scenario.steps.push_back(std::move(step));
    if (listTracking && random() % kSaveEvery == 0) scenario.steps.push_back({EditStep::Kind::SaveList, "", ""});
  }
  if (listTracking) scenario.steps.push_back({EditStep::Kind::SaveList, "", ""});
  scenario.steps.push_back({EditStep::Kind::Close, "", ""});
  return scenario;
}

void applyStep(const EditStep& step, PackContents* contents) {
  if (step.kind == EditStep::Kind::Insert) (*contents)[step.name] = step.bytes;
  if (step.kind == EditStep::Kind::Remove) contents->erase(step.name);
}

bool buildBasePack(const std::string& path, const EditScenario& scenario) {
  AXP::PackFile pack;
  if (!pack.create(path.c_str())) return false;
  pack.setListTracking(1);
  for (const auto& [name, bytes] : scenario.base) {
    if (!pack.insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()), name.c_str(), true, true)) {
      return false;
    }
  }
  return pack.saveList();
}

int runEditSession(const std::string& path, const EditScenario& scenario, Journal& journal, bool goOnAfterFailures) {
  AXP::PackFile pack;
  if (!pack.open(path.c_str(), false)) return kOpenFailed;
  if (scenario.listTracking) {
    pack.setListTracking(1);
    pack.loadList();
  }
  for (uint32_t index = 0; index < scenario.steps.size(); ++index) {
    const EditStep& step = scenario.steps[index];
    bool done = true;
    switch (step.kind) {
      case EditStep::Kind::Insert:
        done = pack.insertContents(step.bytes.data(), static_cast<uint32_t>(step.bytes.size()), step.name.c_str(),
                                   true, true);
        break;
      case EditStep::Kind::Remove:
        done = pack.removeContents(step.name.c_str(), true);
        break;
      case EditStep::Kind::SaveList:
        done = pack.saveList();
        break;
      case EditStep::Kind::Close:
        pack.close();
        break;
    }
    if (done) {
      journal.record(index);
    } else if (!goOnAfterFailures) {
      return static_cast<int>(index) + 1;
    }
  }
  return 0;
}

}  // namespace crash_testing
