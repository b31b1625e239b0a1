// The patch applier: opens patch packages (scrambled or plain ZIP archives),
// reads their command lists into one command model and applies it to a game
// installation. Callers reach it through IUpdater, createUpdater and
// destroyUpdater.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "axp/common/package_io.h"
#include "axp/updater/apply_plan.h"
#include "axp/updater/command_list.h"

namespace AXP {

class EntryPrefetch;
class PackFile;
class PackageReader;
struct PrefetchJob;

// Told of every command an apply carries out, before its action: the
// command's pack (empty for a loose file), its name and its code. Callers
// carry their own context in it (a lambda, a bound member); an empty one
// is not called.
using ProgressCallback = std::function<void(const char* pack, const char* name, int32_t op)>;

// A loose file a delete command named that is there and could not be
// deleted (locked, held by another program, a folder): the installation
// does not fully match the package.
struct FileLeft {
  std::string name;  // as the command names it
  int systemError = 0;
};

// Paths are narrow strings of at most 259 bytes. Failures return false and
// leave code and message in the error record.
class IUpdater {
 public:
  // True when the file ends in a 4-byte checksum trailer matching the rest.
  virtual bool verifyChecksum(const char* path) = 0;
  // Opens a package and merges its command list; a package already open
  // (same path ignoring case and slash direction) is not read again.
  virtual bool openPackage(const char* packagePath) = 0;
  // Number of commands in the model.
  virtual int getOperationCount() = 0;
  // Carries out the model under `installDir`; `progress` may be null.
  virtual bool apply(const char* installDir, const ProgressCallback& progress) = 0;
  // Checksum of a disk file, optionally without its last 4 bytes.
  virtual bool computeChecksum(const char* path, uint32_t* checksumOut, bool excludeTrailer) = 0;
  // The package I/O table for the file: descrambling for a scrambled
  // package, the default one otherwise (also when the file cannot be read).
  virtual const PackageIo* selectIo(const char* path) = 0;
  // Copies source over target (unless both name one file), then toggles the
  // target's scrambling and seals it with a fresh checksum trailer.
  virtual bool copyAndSeal(const char* sourcePath, const char* targetPath) = 0;
  // While set, "(list)" pack commands are dropped at opening and every
  // edited pack keeps its own list file current. Initially clear.
  virtual void setListMaintenance(bool on) = 0;
  virtual bool getListMaintenance() = 0;

 protected:
  ~IUpdater() = default;
};

class Updater : public IUpdater {
 public:
  Updater();
  virtual ~Updater();
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  bool verifyChecksum(const char* path) override;
  bool openPackage(const char* packagePath) override;
  int getOperationCount() override;
  bool apply(const char* installDir, const ProgressCallback& progress) override;
  bool computeChecksum(const char* path, uint32_t* checksumOut, bool excludeTrailer) override;
  const PackageIo* selectIo(const char* path) override;
  bool copyAndSeal(const char* sourcePath, const char* targetPath) override;
  void setListMaintenance(bool on) override;
  bool getListMaintenance() override;

  // Extracts one entry of an opened package to a file (`targetPath`) or to
  // memory (`dataOut`: points into a process-wide buffer, valid until the
  // next extraction, always followed by a zero byte). LZMA-packed entries
  // are unpacked. An entry the package does not hold reads as empty data.
  bool extractEntry(const char* packagePath, const char* entryName, const char* targetPath,
                    const uint8_t** dataOut, uint32_t* sizeOut);
  // Sets `*holds` to whether an opened package has an entry of that name
  // (looked up as extractEntry does). False, code 10, when the package was
  // not opened.
  bool holdsEntry(const char* packagePath, const char* entryName, bool* holds);

  // The command model gathered from every opened package.
  const CommandModel& commands() const { return commands_; }
  // The loose files the last apply could not delete, in its order. The
  // apply goes on past them, as a package applies whole or fails, and
  // still succeeds; callers tell the user that the installation does not
  // fully match.
  const std::vector<FileLeft>& filesLeft() const { return filesLeft_; }
  // The checks apply makes of the targets under `installDir` before it
  // touches anything, without applying: false with apply's report for the
  // first target it would refuse.
  bool checkTargets(const char* installDir) const;

 private:
  // The entries of the plan's edits and loose files, in the order the
  // apply takes them, for reading ahead.
  std::vector<PrefetchJob> prefetchJobs(const ApplyPlan& plan);
  // With `prefetch` null, every entry is read when its turn comes.
  bool applyLooseCommand(const std::string& installDir, const PatchCommand& command, EntryPrefetch* prefetch,
                         const ProgressCallback& progress);
  bool applyPackTurn(const std::string& installDir, const PackTurn& turn, EntryPrefetch* prefetch,
                     const ProgressCallback& progress);
  bool applyPackCommand(PackFile* packFile, const PatchCommand& command, EntryPrefetch* prefetch,
                        const ProgressCallback& progress);
  // Inserts the data of a pack command read in pieces, when it is too large
  // to be held whole; `*streamed` tells whether it was.
  bool insertLargeEntry(PackFile* packFile, const PatchCommand& command, const std::string& entryName,
                        bool* streamed);

  // Refuses (code 5) an apply whose entries would write more bytes than
  // the installation's file system has free (space_check.cpp).
  bool checkFreeSpace(const std::string& installDir, const ApplyPlan& plan);
  bool addDataSize(const PatchCommand& command, const std::string& entryName, uint64_t* total);
  bool deleteLooseFile(const std::string& installDir, const std::string& name);
  // Extracts an entry to the file `relative` below the folder `root`.
  bool extractToFile(const char* packagePath, const char* entryName, const std::string& root,
                     const std::string& relative, uint32_t* sizeOut);

  // The opened package of that path, or null (code 10 reported).
  PackageReader* openedPackage(const char* packagePath);

  CommandModel commands_;
  // normalised package path -> its open archive
  std::map<std::string, std::unique_ptr<PackageReader>> openPackages_;
  bool maintainLists_ = false;
  std::vector<FileLeft> filesLeft_;
};

// A new updater; null, reported as code 14 "out of memory", when its
// memory cannot be had.
Updater* createUpdater() noexcept;
// Destroys an updater made by createUpdater; ignores null.
void destroyUpdater(IUpdater* updater);

// An updater owned for one scope, given back through destroyUpdater.
struct UpdaterRelease {
  void operator()(IUpdater* updater) const { destroyUpdater(updater); }
};
using UpdaterHandle = std::unique_ptr<Updater, UpdaterRelease>;
// createUpdater, owned; empty when the memory cannot be had.
inline UpdaterHandle makeUpdater() { return UpdaterHandle(createUpdater()); }

}  // namespace AXP
