// Package files rewritten through the key stream. Each result is written
// beside its target and moved over it once whole, so a failure or a stop
// leaves the target as it was and no half-scrambled or unsealed file is
// ever seen under the target's name.
#pragma once

#include <string>

#include "platform/file.h"

namespace AXP {

// Writes `sourcePath` through the key stream to `targetPath` (the same path
// rewrites a file in place). With `dropTrailer` the source's last 4 bytes
// are left out (a source of 4 bytes or less: code 10 "File=%s(too small)");
// with `seal` the checksum of the bytes written follows them as a trailer.
// Failures: code 3 "File=%s, WinErr=%d" (source or work file cannot be
// opened or made), code 5 "WinErr=%d" (a read or write fails, or the result
// cannot be moved into place).
bool rewriteKeyed(const std::string& sourcePath, const std::string& targetPath, bool dropTrailer, bool seal);

// Scrambles the whole of an open file in place and appends the checksum
// trailer of the scrambled bytes: the builder seals its package this way in
// its own work file. Failures: code 5 "WinErr=%d".
bool scrambleAndSeal(platform::File& file);

}  // namespace AXP
