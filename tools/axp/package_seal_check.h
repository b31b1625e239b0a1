// Whether a package is intact: its checksum trailer matches the bytes
// before it.
#pragma once

#include <string>

namespace axptool {

// True when the file ends with a checksum trailer that matches the bytes
// before it. Otherwise false with a reason in the error record: the
// reader's code when the file cannot be read, code 10 "File=%s(too small)"
// for a file too short for a trailer, code 2 "File=%s(checksum trailer
// mismatch)" for a damaged package, code 2 "File=%s(no checksum trailer)"
// for a plain archive never sealed.
bool checkPackageSeal(const std::string& path);

}  // namespace axptool
