// What the progress bar and the status line show while a package is
// applied.
#pragma once

#include <cstdint>
#include <string>

namespace qelt {

// The bar's value when the callback for the (counter + 1)-th of `count`
// operations comes: counter * 100 / count, rounded half up. 100 itself is
// shown only when the update has finished.
int progressPercent(int32_t counter, uint32_t count);

// "更新文件<name>" for an add or replace (kind 0), "删除文件<name>" for a
// delete (kind 1), the bare name for any other kind.
std::string progressText(int32_t kind, const char* name);

}  // namespace qelt
