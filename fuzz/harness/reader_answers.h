// What each of two ZIP readers answers about the same bytes: the package
// reader of the library and zziplib, the reader the system once shipped
// with, here an independent oracle. Both read the bytes from memory through
// I/O tables of their own kind, and both are asked what the system asks:
// does the archive open, is an entry of this name there (letter case
// ignored), its size and its bytes, read in 4096-byte pieces.
#pragma once

#include <zzip/plugin.h>
#include <zzip/zzip.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "axp/common/package_reader.h"

namespace fuzzing {
namespace readers {

constexpr uint32_t kReadPiece = 4096;

struct EntryAnswer {
  bool found = false;
  bool opened = false;     // the entry opened for reading
  bool delivered = false;  // every byte was read without an error
  uint32_t size = 0;
  std::string bytes;
  int error = 0;
  uint32_t crc = 0;  // as the directory records it (this reader's answer only)
};

struct Answer {
  bool opens = false;
  int error = 0;
  std::vector<std::string> names;  // the directory's names, in its order
  std::map<std::string, EntryAnswer> entries;
};

// The bytes being read, one view per reader, each with its own position.
struct MemoryFile {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t position = 0;
};

inline MemoryFile& ourFile() {
  static MemoryFile file;
  return file;
}

inline MemoryFile& theirFile() {
  static MemoryFile file;
  return file;
}

inline int64_t seekMemory(MemoryFile& file, int64_t offset, int origin) {
  const int64_t base = origin == SEEK_SET   ? 0
                       : origin == SEEK_CUR ? static_cast<int64_t>(file.position)
                                            : static_cast<int64_t>(file.size);
  if (base + offset < 0) return -1;
  file.position = static_cast<size_t>(base + offset);
  return static_cast<int64_t>(file.position);
}

inline size_t readMemory(MemoryFile& file, void* buffer, size_t length) {
  const size_t count = file.position >= file.size ? 0 : std::min(length, file.size - file.position);
  if (count > 0) std::memcpy(buffer, file.data + file.position, count);
  file.position += count;
  return count;
}

inline int seekOrigin(AXP::IoOrigin origin) {
  return origin == AXP::IoOrigin::Begin ? SEEK_SET : origin == AXP::IoOrigin::Current ? SEEK_CUR : SEEK_END;
}

// The library's table over its view of the memory file.
inline const AXP::PackageIo* memoryPackageIo() {
  static const AXP::PackageIo io = {
      [](const char*) -> void* {
        ourFile().position = 0;
        return &ourFile();
      },
      [](void*) { return true; },
      [](void* file, void* buffer, uint32_t length) {
        return static_cast<int64_t>(readMemory(*static_cast<MemoryFile*>(file), buffer, length));
      },
      [](void* file, int64_t offset, AXP::IoOrigin origin) {
        return seekMemory(*static_cast<MemoryFile*>(file), offset, seekOrigin(origin));
      },
      [](void* file) { return static_cast<int64_t>(static_cast<MemoryFile*>(file)->size); },
  };
  return &io;
}

// zziplib's table over its view of the memory file; one made-up descriptor
// stands for it.
constexpr int kMemoryDescriptor = 1000;

inline int openTheirFile(zzip_char_t*, int, ...) {
  theirFile().position = 0;
  return kMemoryDescriptor;
}

inline zzip_plugin_io_t memoryZzipIo() {
  static zzip_plugin_io_handlers io = [] {
    zzip_plugin_io_handlers table = *zzip_get_default_io();
    table.fd.open = openTheirFile;
    table.fd.close = [](int) { return 0; };
    table.fd.read = [](int, void* buffer, zzip_size_t length) {
      return static_cast<zzip_ssize_t>(readMemory(theirFile(), buffer, length));
    };
    table.fd.seeks = [](int, zzip_off_t offset, int origin) {
      return static_cast<zzip_off_t>(seekMemory(theirFile(), offset, origin));
    };
    table.fd.filesize = [](int) { return static_cast<zzip_off_t>(theirFile().size); };
    table.fd.write = [](int, const void*, zzip_size_t) { return zzip_ssize_t{-1}; };
    return table;
  }();
  return &io;
}

// The names asked for: every name either reader lists and its upper-case
// form, at most `limit` of them.
inline std::set<std::string> probedNames(const Answer& ours, const Answer& theirs, size_t limit) {
  std::set<std::string> names;
  for (const std::vector<std::string>* listed : {&ours.names, &theirs.names}) {
    for (const std::string& name : *listed) {
      std::string upper = name;
      for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
      for (const std::string& probe : {name, upper}) {
        if (names.size() < limit && probe.find('\0') == std::string::npos) names.insert(probe);
      }
    }
  }
  return names;
}

inline Answer openWithOurs(AXP::PackageReader& archive) {
  Answer answer;
  answer.opens = archive.open("package", memoryPackageIo());
  answer.error = static_cast<int>(archive.error());
  for (const AXP::PackageEntryInfo& entry : archive.entries()) answer.names.push_back(entry.name);
  return answer;
}

inline EntryAnswer readWithOurs(AXP::PackageReader& archive, const std::string& name) {
  EntryAnswer answer;
  const AXP::PackageEntryInfo* info = archive.find(name);
  answer.found = info != nullptr;
  if (!answer.found) return answer;
  answer.size = info->size;
  answer.crc = info->crc;
  AXP::PackageEntryReader entry(archive);
  answer.opened = entry.open(*info);
  int64_t got = answer.opened ? 0 : -1;
  char piece[kReadPiece];
  while (answer.opened && (got = entry.read(piece, kReadPiece)) > 0) answer.bytes.append(piece, got);
  answer.delivered = got == 0;
  answer.error = static_cast<int>(archive.error());
  return answer;
}

struct ZzipDirectory {
  ZZIP_DIR* dir = nullptr;
  ~ZzipDirectory() {
    if (dir != nullptr) zzip_dir_close(dir);
  }
};

inline Answer openWithZzip(ZzipDirectory& archive) {
  Answer answer;
  zzip_error_t error = ZZIP_NO_ERROR;
  archive.dir = zzip_dir_open_ext_io("package", &error, nullptr, memoryZzipIo());
  answer.opens = archive.dir != nullptr;
  answer.error = error;
  ZZIP_DIRENT entry;
  while (answer.opens && zzip_dir_read(archive.dir, &entry)) answer.names.push_back(entry.d_name);
  return answer;
}

// As the system used zziplib: open ignoring case, the size from the
// directory record, reads until nothing more comes.
inline EntryAnswer readWithZzip(ZzipDirectory& archive, const std::string& name) {
  EntryAnswer answer;
  ZZIP_STAT stat{};
  answer.found = zzip_dir_stat(archive.dir, name.c_str(), &stat, ZZIP_CASEINSENSITIVE) == 0;
  if (!answer.found) return answer;
  answer.size = static_cast<uint32_t>(stat.st_size);
  ZZIP_FILE* file = zzip_file_open(archive.dir, name.c_str(), ZZIP_ONLYZIP | ZZIP_CASELESS);
  answer.opened = file != nullptr;
  zzip_ssize_t got = answer.opened ? 0 : -1;
  char piece[kReadPiece];
  while (answer.opened && (got = zzip_file_read(file, piece, kReadPiece)) > 0) answer.bytes.append(piece, got);
  answer.delivered = got == 0;
  answer.error = zzip_error(archive.dir);
  if (file != nullptr) zzip_file_close(file);
  return answer;
}

// Both readers' answers about `data`, for the names either lists.
inline std::pair<Answer, Answer> askBoth(const uint8_t* data, size_t size, size_t nameLimit) {
  ourFile() = MemoryFile{data, size, 0};
  theirFile() = MemoryFile{data, size, 0};
  AXP::PackageReader ours;
  Answer ourAnswer = openWithOurs(ours);
  ZzipDirectory theirs;
  Answer theirAnswer = openWithZzip(theirs);
  for (const std::string& name : probedNames(ourAnswer, theirAnswer, nameLimit)) {
    if (ourAnswer.opens) ourAnswer.entries[name] = readWithOurs(ours, name);
    if (theirAnswer.opens) theirAnswer.entries[name] = readWithZzip(theirs, name);
  }
  return {ourAnswer, theirAnswer};
}

}  // namespace readers
}  // namespace fuzzing
