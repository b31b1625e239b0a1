// The package writer: builds standard ZIP archives (local headers, entry
// data, central directory, end record) on an open file or pipe, on a file
// named by its path, or in memory. The builder assembles every patch package
// with it.
//
// The writer answers with result codes of its own (below), not with the
// process-wide error record: a caller that fails because of the writer turns
// the code into its own report (the builder's "XZIP=%d").
//
// Calling order: createArchive, any number of addToArchive, optionally
// getArchiveMemory (memory archives), then closeArchive exactly once.
// One thread at a time per archive; lastArchiveResult is process-wide.
#pragma once

#include <cstdint>

namespace AXP {

// Result codes. 0 is success; describeArchiveResult gives each one's text.
constexpr uint32_t kZipSuccess = 0x00000000;
constexpr uint32_t kZipDuplicateFailed = 0x00000100;
constexpr uint32_t kZipOpenFailed = 0x00000200;
constexpr uint32_t kZipNoMemory = 0x00000300;
constexpr uint32_t kZipWriteFailed = 0x00000400;
constexpr uint32_t kZipNotFound = 0x00000500;
constexpr uint32_t kZipMoreData = 0x00000600;
constexpr uint32_t kZipCorrupt = 0x00000700;
constexpr uint32_t kZipReadFailed = 0x00000800;
constexpr uint32_t kZipBadArguments = 0x00010000;
constexpr uint32_t kZipNotMemoryArchive = 0x00020000;
constexpr uint32_t kZipMemoryFull = 0x00030000;
constexpr uint32_t kZipPreviousError = 0x00040000;
constexpr uint32_t kZipEnded = 0x00050000;
constexpr uint32_t kZipSizeMismatch = 0x00060000;
constexpr uint32_t kZipPartlyUnzipped = 0x00070000;
constexpr uint32_t kZipMixedUse = 0x00080000;
constexpr uint32_t kZipNotInitialised = 0x01000000;
constexpr uint32_t kZipUnseekable = 0x02000000;
constexpr uint32_t kZipChangedMind = 0x04000000;
constexpr uint32_t kZipFlateError = 0x05000000;
// Not a result: asks describeArchiveResult for the most recent result.
constexpr uint32_t kZipLastResult = 1;

// Where createArchive writes. For kTargetHandle the target is a
// platform::File* (the writer works on its own duplicate; a disk file is
// written from its current position on, a pipe in one pass with data
// descriptors); for kTargetPath a NUL-terminated path; for kTargetMemory a
// buffer of `length` bytes, or null for a zero-filled buffer the writer
// makes itself. The buffer is written although the parameter is const: the
// one parameter carries a file, a path or a buffer.
constexpr uint32_t kTargetHandle = 1;
constexpr uint32_t kTargetPath = 2;
constexpr uint32_t kTargetMemory = 3;

// What addToArchive reads. kSourceHandle: a platform::File*, neither
// duplicated nor closed; kSourcePath: a NUL-terminated path; kSourceMemory:
// `length` bytes; kSourceFolder: no data, the name is a folder;
// kSourceSpooled: a platform::File* read from its start, neither duplicated
// nor closed, that holds exactly the `length` bytes of data spooled there
// and is described as a memory block would be (the builder packs large
// entries into scratch files without changing their records).
constexpr uint32_t kSourceHandle = 1;
constexpr uint32_t kSourcePath = 2;
constexpr uint32_t kSourceMemory = 3;
constexpr uint32_t kSourceFolder = 4;
constexpr uint32_t kSourceSpooled = 5;

constexpr uint32_t kMethodStore = 0;
constexpr uint32_t kMethodDeflate = 8;

// The one kind of handle createArchive makes: an archive being created.
constexpr uint32_t kArchiveKindCreating = 2;

class ArchiveWriter;

struct ArchiveHandle {
  uint32_t kind;
  ArchiveWriter* writer;
};

// Null on failure; the reason is in lastArchiveResult.
ArchiveHandle* createArchive(const void* target, uint32_t length, uint32_t mode);

// Adds one entry. `length` is the size of a memory block, or for a handle
// that is no disk file the size it will yield (0 when unknown).
uint32_t addToArchive(ArchiveHandle* handle, const char* name, const void* source, uint32_t length,
                      uint32_t mode, uint32_t method);

// Ends the additions (the central directory is written) and hands out the
// archive bytes of a memory archive; they stay valid until closeArchive.
uint32_t getArchiveMemory(ArchiveHandle* handle, void** buffer, uint32_t* length);

// Writes the central directory unless already written, releases everything
// and deletes the handle.
uint32_t closeArchive(ArchiveHandle* handle);

// Copies the message of `code` (kZipLastResult: of the most recent result)
// into `buffer`, at most capacity - 1 bytes and a zero byte; with a null
// buffer or no capacity copies nothing. Returns the full message length.
uint32_t describeArchiveResult(uint32_t code, char* buffer, uint32_t capacity);

// The result of the most recent createArchive, addToArchive,
// getArchiveMemory or closeArchive in the process.
uint32_t lastArchiveResult();

}  // namespace AXP
