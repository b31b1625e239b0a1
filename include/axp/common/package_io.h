// The I/O table the package reader reads an archive through: open, close,
// read, seek and size, as plain functions over an opaque handle. The
// default table reads a disk file as it is; the scrambled table (see
// scrambled_io.h) is the same table with a read that undoes the key stream,
// so a scrambled package is read where it lies.
#pragma once

#include <cstdint>

namespace AXP {

enum class IoOrigin { Begin, Current, End };

struct PackageIo {
  // Opens an existing file for reading; null on failure.
  void* (*open)(const char* path);
  // Closes a handle `open` gave; false when the system reported an error.
  bool (*close)(void* handle);
  // Reads up to `length` bytes from the current position: the count read,
  // 0 at the end of the file, -1 on failure.
  int64_t (*read)(void* handle, void* buffer, uint32_t length);
  // Moves to `offset` from `origin`: the new position, -1 on failure.
  int64_t (*seek)(void* handle, int64_t offset, IoOrigin origin);
  // The file's size in bytes, -1 on failure.
  int64_t (*size)(void* handle);
};

// The table that reads disk files unchanged. Process-wide, never changes.
const PackageIo* defaultPackageIo();

}  // namespace AXP
