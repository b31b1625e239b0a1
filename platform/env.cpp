// The Env in use, and the files and free functions that go through it.
// Nothing here knows which system runs: the system's own Env lives in
// posix/ (or win32/).
#include "platform/env.h"

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/file.h"
#include "platform/file_info.h"
#include "platform/path.h"
#include "platform/system.h"

namespace platform {
namespace {

// Positions travel as unsigned 32-bit values.
constexpr int64_t kLargestPosition = 0xFFFFFFFF;

std::atomic<Env*> gCurrentEnv{nullptr};

bool fail(ErrorKind kind) {
  setLastSystemError(systemError(kind));
  return false;
}

int64_t failedPosition(ErrorKind kind) {
  setLastSystemError(systemError(kind));
  return -1;
}

}  // namespace

Env* currentEnv() {
  Env* env = gCurrentEnv.load(std::memory_order_acquire);
  return env != nullptr ? env : defaultEnv();
}

ScopedEnv::ScopedEnv(Env* env) : previous_(gCurrentEnv.exchange(env, std::memory_order_acq_rel)) {}

ScopedEnv::~ScopedEnv() { gCurrentEnv.store(previous_, std::memory_order_release); }

ScopedOperation::ScopedOperation() : env_(currentEnv()) { env_->beginOperation(); }

ScopedOperation::~ScopedOperation() { env_->endOperation(); }

bool Env::listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                                    std::vector<DirectoryEntry>* entries) {
  std::vector<DirectoryEntry> all;
  if (!listDirectory(path, &all)) return false;
  for (DirectoryEntry& entry : all) {
    if (entry.name.compare(0, prefix.size(), prefix) == 0) entries->push_back(std::move(entry));
  }
  return true;
}

File::~File() { close(); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    file_ = std::move(other.file_);
  }
  return *this;
}

bool File::open(const std::string& path, Access access, Disposition disposition) {
  close();
  file_ = currentEnv()->openFile(path, access, disposition);
  return file_ != nullptr;
}

bool File::openBelow(const std::string& root, const std::string& relative, Access access, Disposition disposition) {
  close();
  file_ = currentEnv()->openFileBelow(root, relative, access, disposition);
  return file_ != nullptr;
}

bool File::openFolder(const std::string& path) {
  close();
  file_ = currentEnv()->openFolder(path);
  return file_ != nullptr;
}

bool File::close() {
  if (!file_) return true;
  std::unique_ptr<OpenFile> file = std::move(file_);
  return file->close();
}

bool File::read(void* buffer, uint32_t length, uint32_t* done) {
  *done = 0;
  return file_ ? file_->read(buffer, length, done) : fail(ErrorKind::BadHandle);
}

bool File::write(const void* buffer, uint32_t length, uint32_t* done) {
  *done = 0;
  return file_ ? file_->write(buffer, length, done) : fail(ErrorKind::BadHandle);
}

bool File::seek(int32_t distance, SeekFrom from, uint32_t* position) {
  int64_t base = 0;
  if (from == SeekFrom::Current) base = tell();
  if (from == SeekFrom::End) base = size();
  if (base < 0) return false;
  const int64_t target = base + distance;
  if (target < 0) return fail(ErrorKind::InvalidArgument);
  // A position beyond 32 bits would reach the caller cut to its low bits and
  // name another place in the file.
  if (target > kLargestPosition) return fail(ErrorKind::OutOfRange);
  if (!file_) return fail(ErrorKind::BadHandle);
  if (!file_->seekTo(static_cast<uint64_t>(target))) return false;
  if (position != nullptr) *position = static_cast<uint32_t>(target);
  return true;
}

bool File::seekTo(uint64_t position) { return file_ ? file_->seekTo(position) : fail(ErrorKind::BadHandle); }

int64_t File::tell() const {
  return file_ ? file_->position() : failedPosition(ErrorKind::BadHandle);
}

int64_t File::size() const {
  return file_ ? file_->size() : failedPosition(ErrorKind::BadHandle);
}

bool File::flush() { return file_ ? file_->flush() : fail(ErrorKind::BadHandle); }

bool File::truncate(uint64_t length) { return file_ ? file_->truncate(length) : fail(ErrorKind::BadHandle); }

bool File::duplicate(File* copy) const {
  if (!file_) return fail(ErrorKind::BadHandle);
  std::unique_ptr<OpenFile> second = file_->duplicate();
  if (!second) return false;
  *copy = File(std::move(second));
  return true;
}

bool File::isRegularFile() const { return file_ ? file_->isRegularFile() : fail(ErrorKind::BadHandle); }

bool File::getInfo(FileInfo* info) const { return file_ ? file_->getInfo(info) : fail(ErrorKind::BadHandle); }

bool File::lock(Lock kind) { return file_ ? file_->lock(kind) : fail(ErrorKind::BadHandle); }

bool getFileInfo(const File& file, FileInfo* info) { return file.getInfo(info); }

int64_t currentTime() { return currentEnv()->currentTime(); }

bool deleteFile(const std::string& path) { return currentEnv()->deleteFile(path); }

bool moveFile(const std::string& from, const std::string& to) { return currentEnv()->moveFile(from, to); }

bool deleteFileBelow(const std::string& root, const std::string& relative) {
  return currentEnv()->deleteFileBelow(root, relative);
}

bool createFoldersBelow(const std::string& root, const std::string& relative) {
  return currentEnv()->createFoldersBelow(root, relative);
}

bool moveFileBelow(const std::string& fromRoot, const std::string& fromRelative, const std::string& toRoot,
                   const std::string& toRelative) {
  return currentEnv()->moveFileBelow(fromRoot, fromRelative, toRoot, toRelative);
}

bool makePrivateFolder(const std::string& path) { return currentEnv()->makePrivateFolder(path); }

bool copyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return currentEnv()->copyFile(from, to, failIfExists);
}

bool createDirectory(const std::string& path) { return currentEnv()->createDirectory(path); }

bool pathExists(const std::string& path) {
  FileInfo info;
  return currentEnv()->pathInfo(path, &info);
}

bool isDirectory(const std::string& path) {
  FileInfo info;
  return currentEnv()->pathInfo(path, &info) && info.directory;
}

bool Env::freeSpace(const std::string&, uint64_t*) { return fail(ErrorKind::Unsupported); }

bool freeSpace(const std::string& path, uint64_t* bytes) { return currentEnv()->freeSpace(path, bytes); }

int64_t fileSize(const std::string& path) {
  FileInfo info;
  if (!currentEnv()->pathInfo(path, &info)) return -1;
  return info.directory ? failedPosition(ErrorKind::IsFolder) : static_cast<int64_t>(info.size);
}

bool readWholeFile(const std::string& path, uint64_t maxSize, std::string* bytes) {
  File file;
  if (!file.open(path, Access::Read, Disposition::ExistingOnly)) return false;
  const int64_t size = file.size();
  if (size < 0) return false;
  if (static_cast<uint64_t>(size) > maxSize || size > INT32_MAX) return fail(ErrorKind::OutOfRange);
  std::string read(static_cast<size_t>(size), '\0');
  uint32_t got = 0;
  if (!file.read(read.data(), static_cast<uint32_t>(size), &got)) return false;
  if (got != size) return fail(ErrorKind::InputOutput);
  *bytes = std::move(read);
  return true;
}

bool sameFile(const std::string& a, const std::string& b) {
  FileInfo first;
  FileInfo second;
  return currentEnv()->pathInfo(a, &first) && currentEnv()->pathInfo(b, &second) &&
         first.volume == second.volume && first.identity == second.identity;
}

bool copyPermissions(const std::string& from, const std::string& to) {
  return currentEnv()->copyPermissions(from, to);
}

bool makeExecutable(const std::string& path) { return currentEnv()->makeExecutable(path); }

bool listDirectory(const std::string& path, std::vector<DirectoryEntry>* entries) {
  entries->clear();
  return currentEnv()->listDirectory(path, entries);
}

bool listDirectoryStartingWith(const std::string& path, const std::string& prefix,
                               std::vector<DirectoryEntry>* entries) {
  entries->clear();
  return currentEnv()->listDirectoryStartingWith(path, prefix, entries);
}

std::string resolvePath(const std::string& path) { return currentEnv()->resolvePath(path); }

std::string tempFolder() { return currentEnv()->tempFolder(); }

std::string createUniqueTempFile(const std::string& folder, const std::string& prefix) {
  return currentEnv()->createUniqueTempFile(folder, prefix);
}

void sleepMilliseconds(uint32_t milliseconds) { currentEnv()->sleepMilliseconds(milliseconds); }

}  // namespace platform
