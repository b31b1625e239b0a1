#include "axp/common/scrambled_io.h"

#include "axp/common/error_record.h"
#include "key_stream.h"
#include "platform/file.h"
#include "platform/system.h"

namespace AXP {
namespace {

constexpr char kOpenFailedMessage[] = "File=%s, WinErr=%d";
// The first two bytes of every ZIP archive.
constexpr char kZipMagic[2] = {'P', 'K'};

PackageIo buildScrambledIo() {
  PackageIo io = *defaultPackageIo();
  io.read = &scrambledRead;
  return io;
}

// The default table with the descrambling read. Its contents never change,
// so it is built once, on first use from whichever thread, and lives until
// the process ends.
const PackageIo& scrambledIoTable() {
  static const PackageIo io = buildScrambledIo();
  return io;
}

}  // namespace

void initScrambledIo() { scrambledIoTable(); }

const PackageIo* scrambledIo() { return &scrambledIoTable(); }

int64_t scrambledRead(void* handle, void* buffer, uint32_t length) {
  const PackageIo* plain = defaultPackageIo();
  const int64_t position = plain->seek(handle, 0, IoOrigin::Current);
  // Without the position the bytes cannot be descrambled; handing them on
  // undescrambled would feed the reader garbage, so the read fails instead.
  if (position < 0) return -1;
  const int64_t count = plain->read(handle, buffer, length);
  if (count > 0) {
    applyKeyStream(static_cast<uint8_t*>(buffer), static_cast<size_t>(count), static_cast<uint64_t>(position));
  }
  return count;
}

bool isScrambledZip(const std::string& path) {
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, kOpenFailedMessage, path.c_str(), platform::lastSystemError());
    return false;
  }
  if (file.size() <= static_cast<int64_t>(sizeof kZipMagic)) return false;
  uint8_t head[sizeof kZipMagic];
  uint32_t done = 0;
  if (!file.read(head, sizeof head, &done) || done != sizeof head) return false;
  return (head[0] ^ keyByte(0)) == kZipMagic[0] && (head[1] ^ keyByte(1)) == kZipMagic[1];
}

}  // namespace AXP
