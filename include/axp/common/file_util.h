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

// True when `relativePath` names something strictly inside the folder it is
// joined to: not empty, not rooted ("/x", "\x"), no drive ("C:x"), and no
// ".." that climbs above its start.
bool staysInside(const std::string& relativePath);

// Reports a failed operation on `path` below a root folder: code 10
// "File=%s(leaves its folder through a link)" with `name` when the path
// would have left the root, else `code` with `format` (a path, then a
// system error) filled with `path` and the system error. Returns false.
bool reportBelowFailure(int32_t code, const char* format, const std::string& path, const std::string& name);

// Reports code 3 "File=%s, in use by another program"; returns false.
bool reportInUse(const std::string& path);

// True when `size` fits the formats' 32-bit size fields; otherwise code 10
// "File=%s(4 GiB or more; ...)" with `path`, and false.
bool fitsSizeFields(uint64_t size, const std::string& path);

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
