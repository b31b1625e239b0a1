// Small file and path services shared by the updater, the packs and the
// builder.
#pragma once

#include <cstdint>
#include <string>

namespace AXP {

// Paths and names travel in 260-byte buffers on the target systems: at most
// 259 characters.
constexpr size_t kMaxPath = 259;

// Joins `more` onto `*path` with the platform's path join. A result longer
// than kMaxPath is refused with code 10 ("%s" with the joined text) and
// leaves `*path` unchanged.
bool appendPath(std::string* path, const std::string& more);

// Low 32 bits of the size of a disk file; 0 for an empty path or a file
// that cannot be opened. Never reports.
uint32_t diskFileSize(const std::string& path);

// Creates a folder and its missing parents; true when it exists afterwards.
// Never reports.
bool makeDirectories(const std::string& path);

// 0 when both paths name the same file: equal ignoring ASCII case once
// blanks at both ends and a trailing separator are removed, or the same
// file on disk. Otherwise the case-insensitive order of the two texts.
int comparePaths(const std::string& a, const std::string& b);

}  // namespace AXP
