#include <algorithm>
#include <vector>

#include "axp/common/byte_order.h"
#include "axp/common/checksum.h"
#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "key_stream.h"
#include "keyed_rewrite.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/work_file.h"

namespace AXP {
namespace {

// Bytes read, keyed and written per step.
constexpr uint32_t kWorkBufferBytes = 64 * 1024;

bool reportRewriteFailure() {
  reportError(WriteFailed, messages::kSystemError, platform::lastSystemError());
  return false;
}

bool writeAll(platform::File& file, const void* data, uint32_t length) {
  uint32_t written = 0;
  return (file.write(data, length, &written) && written == length) || reportRewriteFailure();
}

bool writeTrailer(platform::File& file, uint32_t checksum) {
  uint8_t trailer[kChecksumTrailerSize];
  writeLittleEndian32(trailer, checksum);
  return writeAll(file, trailer, kChecksumTrailerSize);
}

// Copies the first `limit` bytes of `source` to `work` through the key
// stream, folding what is written into the checksum state `*crc`. A read
// failure is reported with the write code here.
bool copyKeyed(platform::File& source, platform::File& work, uint64_t limit, uint32_t* crc) {
  std::vector<uint8_t> buffer(kWorkBufferBytes);
  uint64_t position = 0;
  while (position < limit) {
    uint32_t count = 0;
    if (!source.read(buffer.data(), kWorkBufferBytes, &count)) return reportRewriteFailure();
    if (count == 0) break;
    applyKeyStream(buffer.data(), count, position);
    const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(count, limit - position));
    position += count;
    *crc = crcFeed(*crc, buffer.data(), wanted);
    if (!writeAll(work, buffer.data(), wanted)) return false;
  }
  return true;
}

}  // namespace

bool rewriteKeyed(const std::string& sourcePath, const std::string& targetPath, bool dropTrailer, bool seal) {
  platform::File source;
  if (!source.open(sourcePath, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kFileError, sourcePath.c_str(), platform::lastSystemError());
    return false;
  }
  const int64_t size = source.size();
  if (size < 0) return reportRewriteFailure();
  if (dropTrailer && size <= static_cast<int64_t>(kChecksumTrailerSize)) {
    reportError(BadArgument, messages::kTooSmall, sourcePath.c_str());
    return false;
  }
  platform::WorkFile work;
  if (!work.create(targetPath)) {
    reportError(OpenFailed, messages::kFileError, targetPath.c_str(), platform::lastSystemError());
    return false;
  }
  const uint64_t limit = static_cast<uint64_t>(size) - (dropTrailer ? kChecksumTrailerSize : 0);
  uint32_t crc = crcStart();
  if (!copyKeyed(source, work.file(), limit, &crc)) return false;
  if (seal && !writeTrailer(work.file(), crcFinish(crc))) return false;
  source.close();
  return work.commit() || reportRewriteFailure();
}

bool toggleScrambling(const std::string& path, bool dropTrailer) { return rewriteKeyed(path, path, dropTrailer, false); }

bool scrambleAndSeal(platform::File& file) {
  std::vector<uint8_t> buffer(kWorkBufferBytes);
  uint32_t crc = crcStart();
  uint64_t position = 0;
  if (!file.seek(0, platform::SeekFrom::Begin)) return reportRewriteFailure();
  for (;;) {
    uint32_t count = 0;
    if (!file.read(buffer.data(), kWorkBufferBytes, &count)) return reportRewriteFailure();
    if (count == 0) break;
    applyKeyStream(buffer.data(), count, position);
    crc = crcFeed(crc, buffer.data(), count);
    if (!file.seek(-static_cast<int32_t>(count), platform::SeekFrom::Current)) return reportRewriteFailure();
    if (!writeAll(file, buffer.data(), count)) return false;
    position += count;
  }
  return writeTrailer(file, crcFinish(crc));
}

}  // namespace AXP
