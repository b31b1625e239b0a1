// What the builder knows about one version of an installation: its version
// text and the catalogue of every file in it, loose files and files inside
// its .axp packs alike. The catalogue is stored in the folder's "(version)"
// file, one FileRecord per line.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "axp/common/format_names.h"

namespace AXP {

// Separator between the components of a relative name in a catalogue. The
// catalogue is shared with the installations and the builders of the
// target systems, which write "\".
constexpr char kCatalogueSeparator = '\\';

struct FileRecord {
  // Loose file: path relative to the version folder, components joined
  // with "\". File inside a pack: its name as the pack's (list) gives it.
  std::string name;
  uint32_t size = 0;
  // crcBuffer of the file's bytes.
  uint32_t crc = 0;
  // Empty for a loose file; else the pack's path relative to the folder.
  std::string pack;
  // Working flag of one comparison: set on every record of the old version
  // when a patch is planned, cleared when the new version has the file.
  bool unmatched = true;
};

struct VersionRecord {
  std::string version;
  // The folder as the caller named it; every file of this version is read
  // from here.
  std::string folder;
  // In catalogue order.
  std::vector<FileRecord> files;
  // normalizeName(pack, true, true) of every pack with files in `files`.
  std::set<std::string> packKeys;
};

}  // namespace AXP
