// Plain words for the failures the tool's commands meet most: a folder or
// file that is not there, a package that is not one, a pack that is not one
// or was left half-edited, a version folder without its catalogue. Each
// reads the error record a failed call left, adds the words for it
// (cli::explain) and returns false, so a command ends with
// `return explainX(...)`; the record's code and message are kept.
#pragma once

#include <string>

namespace axptool {

// Checks that `folder` is a folder. Otherwise code 10 "Path=%s(not a
// folder)" and the words "<folder>: no such folder"; false.
bool requireFolder(const std::string& folder);

// After a pack failed to open or to pass a check: a missing file, a file
// that is no pack, a pack left marked as being edited (and how to bring it
// back), or a pack that cannot be opened.
std::string packFailureWords(const std::string& path);
bool explainPackFailure(const std::string& path);

// The words for a pack left marked as being edited by an edit or an apply
// that stopped half-way, and how to recover it.
std::string packInEditWords(const std::string& path);

// After a patch package failed to open or to pass its trailer check: a
// missing file, a file too small, damaged or not a package at all.
bool explainPackageFailure(const std::string& path);

// After registering a version folder failed: read back (`scanned` false),
// a folder without "(version)" or with a damaged one; scanned, the file or
// pack the scan could not read.
bool explainRegistration(const std::string& folder, bool scanned);

// "axp catalog <folder> VERSION", the command that writes a catalogue.
std::string catalogCommandFor(const std::string& folder);

}  // namespace axptool
