// Where a packed file lands when a pack is extracted into a folder. Names
// inside packs come from other machines; one that would reach outside the
// folder (an absolute name, a drive prefix, a ".." component) is refused.
#pragma once

#include <string>

namespace axptool {

// The path of packed file `name` relative to the folder it is extracted
// into: the name's components ("\" and "/" both separate, double-byte
// aware) joined with "/", with empty and "." components dropped. A name that is absolute, carries a
// drive or stream prefix (":"), has a ".." component or no component at
// all is refused with code 10 and the name as message; so is a name with a
// double-byte character whose second byte is "\" (the file layer would
// split the name there) and a path under `folder` longer than the
// library's path limit.
bool extractionPath(const std::string& folder, const std::string& name, std::string* relative);

}  // namespace axptool
