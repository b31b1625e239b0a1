// The files under a folder, for packing a whole tree.
#pragma once

#include <string>
#include <vector>

namespace axptool {

struct FileUnder {
  std::string name;  // relative to the folder, "/" between components
  std::string path;  // the folder joined with the name
};

// Every regular file under `folder`, at any depth, in byte order of their
// names (links count as what they point to; pipes, sockets and devices are
// left out).
// A folder that cannot be read: code 3 "Path=%s, WinErr=%d". A path longer
// than the library's limit (also what a tree that links back into itself
// grows into) is refused with code 10.
bool listFilesUnder(const std::string& folder, std::vector<FileUnder>* files);

}  // namespace axptool
