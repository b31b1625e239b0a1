// The patch builder: catalogues version folders of an installation and
// writes the package that turns one version into another (a ZIP archive of
// LZMA-packed entries and the "(command)" list, scrambled and sealed with a
// checksum trailer). Callers reach it through IPatchMaker, createPatchMaker
// and destroyPatchMaker.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "axp/common/version_key.h"
#include "axp/patchmaker/patch_plan.h"
#include "axp/patchmaker/version_record.h"

namespace AXP {

// Paths are narrow strings of at most 259 bytes. Failures return false (or
// the stated null or empty text) and leave code and message in the error
// record.
class IPatchMaker {
 public:
  // Registers a version folder, replacing an earlier registration of it.
  // With a version text the folder is scanned and its "(version)" catalogue
  // written; without one (null or empty) the catalogue is read back. A
  // failed registration leaves the folder unregistered.
  virtual bool addVersion(const char* folder, const char* version) = 0;
  // The registered version text of a folder; empty text (code 13) when the
  // folder is not registered, null (code 10) for a null or empty argument.
  virtual const char* getVersion(const char* folder) = 0;
  // Writes the package that turns the old registered folder into the new
  // one, with the two versions recorded in it. `filter` may be empty: every
  // command is kept.
  virtual bool makePatch(const char* oldFolder, const char* newFolder, const char* packagePath,
                         const PatchFilter& filter) = 0;

 protected:
  // Builders are destroyed through destroyPatchMaker.
  ~IPatchMaker() = default;
};

// Stages a build reports progress for.
enum class MakeStage { Cataloguing, Packing };

// Told how far a stage is: `done` of `total` files (cataloguing) or plan
// commands (packing). Called on the thread that called the builder.
using MakeProgress = std::function<void(MakeStage stage, uint64_t done, uint64_t total)>;

// Figures of the last package written.
struct PackageSummary {
  uint32_t entries = 0;      // data entries, "(command)" and the extras not included
  uint64_t bytesIn = 0;      // bytes of the files packed into them
  uint64_t bytesPacked = 0;  // bytes of those entries as stored
  uint64_t packageSize = 0;  // the sealed package file
  // The source file that no longer matched the new version's catalogue,
  // when that stopped the package: a path, or "NAME in PACKPATH" for a file
  // inside a pack. Empty otherwise.
  std::string staleSource;
};

// What a package carries besides its commands and their data, each in an
// entry of its own that no command names, stored as it is.
struct PackageExtras {
  // Recorded in "(range)" when `range.to` is not empty.
  VersionRange range;
  // Shipped as "Update.txt" when given.
  std::optional<std::string> releaseNotes;
};

class PatchMaker : public IPatchMaker {
 public:
  PatchMaker();
  PatchMaker(const PatchMaker&) = delete;
  PatchMaker& operator=(const PatchMaker&) = delete;

  // Declared in slot order: the three operations of IPatchMaker, then
  // reservedOperation, then the destructor.
  bool addVersion(const char* folder, const char* version) override;
  const char* getVersion(const char* folder) override;
  bool makePatch(const char* oldFolder, const char* newFolder, const char* packagePath,
                 const PatchFilter& filter) override;
  // Kept for the interface's layout: always false; code 10 with an empty
  // message when either argument is null or empty.
  virtual bool reservedOperation(const char* first, const char* second);
  virtual ~PatchMaker();

  // Optional; an empty function reports nothing.
  void setProgressCallback(MakeProgress progress) { progress_ = std::move(progress); }
  // Threads that LZMA-pack entries at once; 1 packs on the calling thread.
  // The package bytes do not depend on it. Initially the number of
  // processors.
  void setPackingThreads(unsigned threads) { packingThreads_ = threads == 0 ? 1 : threads; }

  // The registered record of a folder; null when it is not registered.
  const VersionRecord* findVersion(const char* folder) const;
  // makePatch's first half: checks the arguments and the registrations
  // (codes 10 and 13) and computes the plan without writing anything.
  bool planPatch(const char* oldFolder, const char* newFolder, const PatchFilter& filter, PatchPlan* plan);
  // makePatch's second half: writes and seals the package of `plan` with
  // `extras`. The data of every add is checked against the catalogue row
  // the plan gives it as it is read: a file changed since its catalogue was
  // written stops the package with code 2 "File=%s(differs from its
  // catalogue row)" and names the file in lastPackage().staleSource.
  bool writePackage(const PatchPlan& plan, const char* packagePath, const PackageExtras& extras = {});
  const PackageSummary& lastPackage() const { return lastPackage_; }

 private:
  VersionRecord* findRecord(const char* folder);

  // normalizeName(folder, true, true) -> record
  std::map<std::string, VersionRecord> versions_;
  MakeProgress progress_;
  unsigned packingThreads_;
  PackageSummary lastPackage_;
};

// A new builder with no registered folders; null, reported as code 14
// "out of memory", when its memory cannot be had.
PatchMaker* createPatchMaker();
// Destroys a builder made by createPatchMaker; ignores null.
void destroyPatchMaker(IPatchMaker* maker);

// A builder owned for one scope, given back through destroyPatchMaker.
struct PatchMakerRelease {
  void operator()(IPatchMaker* maker) const { destroyPatchMaker(maker); }
};
using PatchMakerHandle = std::unique_ptr<PatchMaker, PatchMakerRelease>;
// createPatchMaker, owned; empty when the memory cannot be had.
inline PatchMakerHandle makePatchMaker() { return PatchMakerHandle(createPatchMaker()); }

}  // namespace AXP
