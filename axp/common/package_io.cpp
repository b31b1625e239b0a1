#include "axp/common/package_io.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "platform/file.h"

namespace AXP {
namespace {

platform::File* fileOf(void* handle) { return static_cast<platform::File*>(handle); }

// Opening may run out of memory too; the file is owned until it is open.
void* openFile(const char* path) {
  std::unique_ptr<platform::File> file(new (std::nothrow) platform::File());
  if (file == nullptr) return nullptr;
  if (!file->open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) return nullptr;
  return file.release();
}

bool closeFile(void* handle) {
  platform::File* file = fileOf(handle);
  const bool closed = file->close();
  delete file;
  return closed;
}

int64_t readFile(void* handle, void* buffer, uint32_t length) {
  uint32_t done = 0;
  if (!fileOf(handle)->read(buffer, length, &done)) return -1;
  return done;
}

platform::SeekFrom seekFrom(IoOrigin origin) {
  switch (origin) {
    case IoOrigin::Begin:
      return platform::SeekFrom::Begin;
    case IoOrigin::Current:
      return platform::SeekFrom::Current;
    case IoOrigin::End:
      break;
  }
  return platform::SeekFrom::End;
}

// The file moves by signed 32-bit distances, so a position past 2 GiB is
// reached in more than one step.
int64_t seekFile(void* handle, int64_t offset, IoOrigin origin) {
  platform::File* file = fileOf(handle);
  if (origin == IoOrigin::Current && offset == 0) return file->tell();
  constexpr int64_t kLongest = std::numeric_limits<int32_t>::max();
  platform::SeekFrom from = seekFrom(origin);
  uint32_t position = 0;
  while (offset > kLongest || offset < -kLongest) {
    const int64_t step = offset > 0 ? kLongest : -kLongest;
    if (!file->seek(static_cast<int32_t>(step), from, &position)) return -1;
    offset -= step;
    from = platform::SeekFrom::Current;
  }
  if (!file->seek(static_cast<int32_t>(offset), from, &position)) return -1;
  return position;
}

int64_t sizeOfFile(void* handle) { return fileOf(handle)->size(); }

constexpr PackageIo kDefaultIo = {openFile, closeFile, readFile, seekFile, sizeOfFile};

}  // namespace

const PackageIo* defaultPackageIo() { return &kDefaultIo; }

}  // namespace AXP
