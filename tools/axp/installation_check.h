// An installation (or a version folder) against its "(version)" catalogue:
// which listed files are missing or changed, which files are there that the
// catalogue does not list, and which packs are not sound. Loose files are
// read once each; a pack is read once by its integrity check, after which
// its "(list)" stands for its files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "axp/patchmaker/version_record.h"

namespace axptool {

// A file of a catalogue or of a folder.
struct FileRef {
  std::string pack;  // the pack's path relative to the folder; empty for a loose file or a whole pack
  std::string name;  // path relative to the folder, or the name inside the pack
};

struct PackProblem {
  std::string pack;  // relative to the folder
  std::string words;
  int32_t code = 0;
  std::string message;
};

struct InstallationReport {
  std::vector<FileRef> missing;     // listed but not there; a missing pack counts once
  std::vector<FileRef> changed;     // listed, with another size or checksum
  std::vector<FileRef> unexpected;  // there but not listed
  std::vector<PackProblem> damagedPacks;
  uint64_t filesChecked = 0;  // catalogue rows compared
  // Every listed file is there as listed and every pack is sound. Files
  // the catalogue does not list do not count: games write settings and
  // logs beside their files.
  bool allMatch() const { return missing.empty() && changed.empty() && damagedPacks.empty(); }
};

// The files under record.folder that its catalogue does not list: loose
// files, whole packs, and files inside listed packs (read from each pack's
// "(list)"). Left out: names beginning with "." (never catalogued), the
// folder's own "(version)" and its "Patch" folder, where the patch program
// files the packages it used. False when the folder cannot be read; a pack
// that cannot be read is passed by.
bool findUnlisted(const AXP::VersionRecord& record, std::vector<FileRef>* unlisted);

// Checks every file the catalogue lists, loose and packed, for presence,
// size and checksum, every pack with its integrity check, and finds the
// unlisted files. False only when the folder cannot be read.
bool checkInstallation(const AXP::VersionRecord& record, InstallationReport* report);

}  // namespace axptool
