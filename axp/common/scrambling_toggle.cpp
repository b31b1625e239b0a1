#include <algorithm>
#include <vector>

#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "key_stream.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

// The work file is "<file name>.tmp.XXXXXX" in the temporary folder: unique,
// so toggles of same-named files in different folders can run at once.
constexpr char kWorkFileSuffix[] = ".tmp.";
constexpr char kUniquePart[] = "XXXXXX";
// Bytes read, keyed and written per step.
constexpr uint32_t kWorkBufferBytes = 64 * 1024;

// Creates the work file for `path` and opens it for writing; reports and
// returns false on failure, leaving no file behind.
bool openWorkFile(const std::string& path, platform::File* work, std::string* workPath) {
  const std::string folder = platform::tempFolder();
  const std::string prefix = path.substr(platform::findFileName(path)) + kWorkFileSuffix;
  std::string pattern = folder;
  if (!appendPath(&pattern, prefix + kUniquePart)) return false;
  *workPath = platform::createUniqueTempFile(folder, prefix);
  if (workPath->empty()) {
    reportError(OpenFailed, messages::kFileError, pattern.c_str(), platform::lastSystemError());
    return false;
  }
  if (!work->open(*workPath, platform::Access::ReadWrite, platform::Disposition::CreateAlways)) {
    reportError(OpenFailed, messages::kFileError, workPath->c_str(), platform::lastSystemError());
    platform::deleteFile(*workPath);
    return false;
  }
  return true;
}

// Copies the first `limit` bytes of `source` to `work` through the key
// stream. Reports code 5 on a failed read or write (a read failure is
// reported with the write code here).
bool copyKeyed(platform::File& source, platform::File& work, uint64_t limit) {
  std::vector<uint8_t> buffer(kWorkBufferBytes);
  uint64_t position = 0;
  while (position < limit) {
    uint32_t count = 0;
    if (!source.read(buffer.data(), kWorkBufferBytes, &count)) {
      reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
      return false;
    }
    if (count == 0) break;
    applyKeyStream(buffer.data(), count, position);
    const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(count, limit - position));
    position += count;
    uint32_t written = 0;
    if (!work.write(buffer.data(), wanted, &written) || written != wanted) {
      reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
      return false;
    }
  }
  return true;
}

}  // namespace

bool toggleScrambling(const std::string& path, bool dropTrailer) {
  platform::File source;
  if (!source.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
    return false;
  }
  platform::File work;
  std::string workPath;
  if (!openWorkFile(path, &work, &workPath)) return false;

  const int64_t size = source.size();
  bool copied = false;
  if (size < 0) {
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
  } else if (dropTrailer && size <= static_cast<int64_t>(kChecksumTrailerSize)) {
    reportError(BadArgument, messages::kTooSmall, path.c_str());
  } else {
    const uint64_t limit = static_cast<uint64_t>(size) - (dropTrailer ? kChecksumTrailerSize : 0);
    copied = copyKeyed(source, work, limit);
  }
  source.close();
  // A work file that does not close cleanly may not hold every byte.
  if (copied && !work.close()) {
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    copied = false;
  }
  if (!copied) {
    work.close();
    platform::deleteFile(workPath);
    return false;
  }
  // The work file was made private; the toggled file keeps the permissions
  // the original had. When the move fails the work file stays, holding the
  // toggled bytes.
  if (!platform::copyPermissions(path, workPath) || !platform::moveFile(workPath, path)) {
    reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  return true;
}

}  // namespace AXP
