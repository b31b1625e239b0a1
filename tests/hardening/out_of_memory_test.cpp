// Memory that runs out at any allocation: no exception leaves the library,
// and an operation that fails for it says so in the error record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>

#include "allocation_probe.h"
#include "axp/common/error_record.h"
#include "axp/pack/pack_file.h"
#include "axp/patchmaker/patch_maker.h"
#include "axp/updater/updater.h"
#include "hardening_support.h"
#include "package_builder.h"
#include "support/temp_dir.h"

namespace {

using crash_testing::AllocationFailure;
using crash_testing::ScratchFolder;

// Runs `operation` with every allocation failing from the k-th on, for a
// spread of k, until it gets through without a refused allocation;
// `prepare` lays out its files afresh before each run. The operation must
// not allocate outside the library itself.
void expectOutOfMemoryAnswered(const char* what, const std::function<void()>& prepare,
                               const std::function<bool()>& operation) {
  for (uint64_t first = 1;; first += std::max<uint64_t>(1, first / 4)) {
    prepare();
    AXP::reportError(0, "%s", "");
    bool done = false;
    bool refused = false;
    try {
      AllocationFailure failure(first);
      done = operation();
      refused = failure.met();
    } catch (...) {
      ADD_FAILURE() << what << ": an exception left the library when allocation " << first << " failed";
      return;
    }
    if (!refused) {
      EXPECT_TRUE(done) << what << ": " << AXP::getLastErrorMessage();
      return;
    }
    if (!done) {
      EXPECT_NE(AXP::getLastErrorCode(), 0) << what << " failed without a report at allocation " << first;
    }
  }
}

TEST(OutOfMemory, PackUpdaterAndBuilderAnswerWithAFailure) {
  ScratchFolder folder;
  const std::string pristine = folder.file("pristine.axp");
  const std::string packPath = folder.file("p.axp");
  const std::string master = folder.file("master.txt");
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.create(pristine.c_str()));
    pack.setListTracking(1);
    ASSERT_TRUE(pack.insertContents("first", 5, "a.txt", true, true) && pack.saveList());
  }
  const std::string pristineBytes = testing_support::readFile(pristine);
  testing_support::writeFile(master, "head\na.txt|1|2|p.axp\n");
  const auto layOutPack = [&] { testing_support::writeFile(packPath, pristineBytes); };
  expectOutOfMemoryAnswered("pack edit", layOutPack, [&] {
    AXP::PackFileHandle pack = AXP::makePackFile();
    return pack && pack->open(packPath.c_str(), false) && pack->loadList() &&
           pack->insertContents("second", 6, "Data\\b.txt", true, true) && pack->saveList() &&
           pack->removeContents("Data\\b.txt", true) && pack->repairFromList(master.c_str()) && pack->close();
  });

  const std::string package = folder.file("patch.zip");
  const std::string install = folder.file("game");
  ASSERT_TRUE(crash_testing::writeSealedPackage(package, "0||x.txt\n0|p.axp|y.txt\n", {{"x.txt", "x"}, {"p.axp/y.txt", "y"}}));
  const auto layOutInstallation = [&] { testing_support::writeFile(install + "/p.axp", pristineBytes); };
  expectOutOfMemoryAnswered("apply", layOutInstallation, [&] {
    AXP::UpdaterHandle updater = AXP::makeUpdater();
    return updater && updater->openPackage(package.c_str()) && updater->apply(install.c_str(), nullptr);
  });

  const std::string oldFolder = folder.file("v1");
  const std::string newFolder = folder.file("v2");
  const std::string built = folder.file("built.zip");
  testing_support::writeFile(oldFolder + "/a.txt", "old");
  testing_support::writeFile(newFolder + "/a.txt", "new");
  expectOutOfMemoryAnswered("build", [] {}, [&] {
    AXP::PatchMakerHandle maker = AXP::makePatchMaker();
    if (!maker) return false;
    maker->setPackingThreads(1);
    return maker->addVersion(oldFolder.c_str(), "1.0.0.1") && maker->addVersion(newFolder.c_str(), "1.0.0.2") &&
           maker->makePatch(oldFolder.c_str(), newFolder.c_str(), built.c_str(), {});
  });
}

}  // namespace
