// A thousand random inserts, replacements and removals against a model
// kept in memory; the pack must end consistent and hold what the model
// holds.
#include <gtest/gtest.h>

#include <random>

#include "axp/common/error_record.h"
#include "pack_test_support.h"

namespace {

using namespace pack_testing;
using testing_support::TempDir;

uint32_t randomSize(std::mt19937* random) {
  switch ((*random)() % 6) {
    case 0: return 0;
    case 1: return 256 * (1 + (*random)() % 8);   // exact granules
    case 2: return 20000 + (*random)() % 600000;  // some read on demand
    default: return (*random)() % 3000;
  }
}

TEST(PackModel, RandomEditsMatchTheModel) {
  TempDir dir;
  const std::string path = dir.file("model.axp");
  std::mt19937 random(1234);
  Contents model;
  auto pack = std::make_unique<AXP::PackFile>();
  ASSERT_TRUE(pack->create(path.c_str()));
  pack->setListTracking(1);

  for (int step = 0; step < 1000; ++step) {
    const std::string name = "dir/file" + std::to_string(random() % 120) + ".dat";
    const bool flush = random() % 2 == 0;
    if (random() % 3 == 0) {
      const bool present = model.count(name) != 0;
      EXPECT_EQ(pack->removeContents(name.c_str(), flush), present) << step;
      if (!present) {
        EXPECT_EQ(AXP::getLastErrorCode(), AXP::NotFound);
      }
      model.erase(name);
    } else {
      std::string bytes(randomSize(&random), '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      ASSERT_TRUE(pack->insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                       name.c_str(), true, flush))
          << step;
      model[name] = bytes;
    }
    if (step % 250 == 249) {  // free blocks are rebuilt from disk on reopening
      ASSERT_TRUE(pack->saveList());
      pack = std::make_unique<AXP::PackFile>();
      ASSERT_TRUE(pack->open(path.c_str(), false));
      pack->setListTracking(1);
      ASSERT_TRUE(pack->loadList());
    }
    uint64_t used = 0, free = 0;
    for (const AXP::BlockEntry& block : pack->blocks()) {
      used += AXP::allocatedSize(block.size);
      if (!block.inUse()) free += AXP::allocatedSize(block.size);
    }
    ASSERT_EQ(used, pack->header().dataUsed) << step;
    ASSERT_EQ(free, pack->header().freeBytes) << step;
  }
  ASSERT_TRUE(pack->saveList());
  pack->close();

  ASSERT_TRUE(pack->open(path.c_str(), true));
  EXPECT_TRUE(pack->checkIntegrity()) << AXP::getLastErrorMessage();
  ASSERT_TRUE(pack->loadList());
  EXPECT_EQ(pack->list().files.size(), model.size());
  for (int i = 0; i < 120; ++i) {
    const std::string name = "dir/file" + std::to_string(i) + ".dat";
    auto it = model.find(name);
    EXPECT_EQ(readPacked(pack.get(), name.c_str()), it == model.end() ? "<absent>" : it->second)
        << name;
  }
}

}  // namespace
