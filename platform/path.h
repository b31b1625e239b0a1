// Path texts. Both "\" and "/" separate components; joins use "/".
#pragma once

#include <string>
#include <vector>

namespace platform {

bool isSeparator(char c);

// Joins `base` and `more` with one separator. Separators at the end of
// `base` and at the start of `more` are folded into that one; an empty side
// gives the other side unchanged.
std::string pathAppend(const std::string& base, const std::string& more);
// Drops the last component (and the separators before it), keeping a root
// ("/", "C:\"): "a/b" -> "a", "/a" -> "/", "a/b/" -> "a/b", "name" -> "".
// False when there is nothing to drop; the path is then unchanged.
bool removeFileSpec(std::string* path);
// Index of the last component's first character; trailing separators do
// not count as a component ("a/b/" -> 2). 0 for a root.
std::string::size_type findFileName(const std::string& path);
// Index of the last component's extension ("." included); path.size() when
// the last component has no ".".
std::string::size_type findExtension(const std::string& path);
// `folder` with one separator at its end, ready for a file name; an empty
// folder (the current one) stays empty.
std::string asFolder(const std::string& folder);
// Removes spaces at both ends.
void removeBlanks(std::string* path);
// Removes one trailing separator, unless the path is just a root ("/",
// "C:\").
void removeTrailingSeparator(std::string* path);

// The on-disk form of a path, as the current Env keeps it (env.h): "\" becomes "/", and each component that does
// not exist with that exact spelling is matched ASCII-case-insensitively
// among the entries of its folder. Components past the first one that
// matches nothing are kept as written (so a path to a file about to be
// created lands in the existing folders).
std::string resolvePath(const std::string& path);

// The components of a path below a root (env.h): "\" and "/" both
// separate, empty and "." components are left out, and ".." takes back the
// component before it as text, as Windows reads paths (never as a step up
// from a link). False for a ".." that would climb above the root.
bool splitBelowRoot(const std::string& relative, std::vector<std::string>* components);

}  // namespace platform
