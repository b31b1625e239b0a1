// What stays the same for every attempt of one run of the patch program.
#pragma once

#include <cstdint>
#include <string>

namespace qelt {

struct PatchSettings {
  // The patch program's own file: it carries the container, and its folder
  // is the second place an installation is looked for.
  std::string programPath;
  // Offset of the container in programPath.
  uint32_t containerStart = 0;
  // Folder for the package copy and the notes file, ending with a separator.
  std::string tempFolder;
  // Program file name of the game client, compared without regard to case.
  std::string clientProgram;
};

}  // namespace qelt
