// The "(command)" list while a package is written: one line per kept
// command, in plan order, gathered in a scratch file of the temporary
// folder. Every build gets a file of its own, so builds running at the same
// time never write into each other's list, and the file is deleted when the
// object goes, whatever the outcome.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "axp/patchmaker/patch_plan.h"
#include "platform/file.h"

namespace AXP {

class CommandScratch {
 public:
  CommandScratch() = default;
  ~CommandScratch();
  CommandScratch(const CommandScratch&) = delete;
  CommandScratch& operator=(const CommandScratch&) = delete;

  // Creates the scratch file. Failure: code 3 "WinErr=%d".
  bool create();
  // Adds the line "op|pack|name". Failure: code 5 for a line longer than a
  // command line may be, or a failed or short write.
  bool appendLine(const PlanCommand& command);
  // Writes out what is buffered, closes the file and reads the whole list
  // back into `*text` (failures as readWholeFile).
  bool finish(std::vector<uint8_t>* text);

  const std::string& path() const { return path_; }

 private:
  bool flush();

  std::string path_;
  platform::File file_;
  std::string pending_;  // lines not yet written
};

}  // namespace AXP
