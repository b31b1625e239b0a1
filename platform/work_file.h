// A file written beside its target and moved over it once whole: readers
// of the target see its old bytes or its new ones, never a part. A failure
// before the move, or a stop of the process, leaves the target as it was;
// the work file is removed on every path the process controls. A killed
// process leaves it beside the target, under a hidden scratch name (see
// scratchNameFor) and locked by nobody: the next work file of that target
// removes it.
#pragma once

#include <string>

#include "platform/file.h"

namespace platform {

class WorkFile {
 public:
  WorkFile() = default;
  // Removes the work file unless it was committed.
  ~WorkFile();
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  // For the target `relative` below `root` (env.h): the work file is made
  // in the target's folder, which must exist, and neither it nor the move
  // leaves the root.
  bool createBelow(const std::string& root, const std::string& relative);
  // For the target `path` as the caller names it (links on its way are
  // followed; a link at `path` itself is replaced, not written through).
  // A target that exists but is no file on a disk (a device, a pipe) is
  // written directly: there is nothing to replace. One that may not be
  // written (read-only, a folder) fails as opening it for writing would.
  bool create(const std::string& path);

  // The work file, open for reading and writing.
  File& file() { return file_; }

  // Flushes and closes the work file and moves it over the target, which
  // keeps its permissions. On failure the work file is removed and the
  // target is as it was.
  bool commit();
  // Closes and removes the work file; the target stays as it was.
  void discard();

 private:
  bool createIn(const std::string& folder, const std::string& name, bool below);
  void removeLeftovers();
  bool openScratch(const std::string& name, Disposition disposition, File* file);
  void removeScratch(const std::string& name);
  bool moveIntoPlace();

  bool below_ = false;
  bool direct_ = false;  // writing the target itself
  std::string folder_;   // the folder of both files: a path, or relative to root_
  std::string root_;
  std::string target_;   // the target's name in folder_
  std::string scratch_;  // the work file's name in folder_, empty once gone
  File file_;
};

}  // namespace platform
