// An Env that keeps every file and folder in memory: the fuzz targets and
// tests that go through many packs and packages use it, so that a run
// costs copies in memory rather than system calls. Paths are taken from the
// root "/" ("\" and "/" alike, "." and ".." folded); a relative path is
// relative to the root. Pauses return at once and the clock stands still.
// It holds no links, so the operations below a root refuse only "..";
// every folder counts as private to the user; locks are kept per file and
// per folder as a system keeps them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "platform/system.h"

namespace testing_support {

// The bytes of one file, kept in pages that exist only where something was
// written: a pack whose header names offsets gigabytes away costs no more
// than the pages it touches, as a sparse file on a disk does. Pages are as
// small as a system's, so that a record written into a hole costs a few
// KiB of fresh memory rather than tens.
class SparseBytes {
 public:
  static constexpr uint64_t kPage = 4 * 1024;

  SparseBytes() = default;
  explicit SparseBytes(const std::string& bytes) { write(0, bytes.data(), bytes.size()); }

  uint64_t size() const { return size_; }
  void clear() {
    pages_.clear();
    size_ = 0;
  }
  // Bytes past the end read as nothing; holes read as zero.
  size_t read(uint64_t at, void* buffer, size_t length) const {
    if (at >= size_) return 0;
    length = static_cast<size_t>(std::min<uint64_t>(length, size_ - at));
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t done = 0; done < length;) {
      const uint64_t position = at + done;
      const size_t offset = static_cast<size_t>(position % kPage);
      const size_t piece = std::min<size_t>(length - done, kPage - offset);
      auto page = pages_.find(position / kPage);
      if (page == pages_.end()) {
        std::fill_n(out + done, piece, uint8_t{0});
      } else {
        std::copy_n(page->second.data() + offset, piece, out + done);
      }
      done += piece;
    }
    return length;
  }
  void write(uint64_t at, const void* buffer, size_t length) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    for (size_t done = 0; done < length;) {
      const uint64_t position = at + done;
      const size_t offset = static_cast<size_t>(position % kPage);
      const size_t piece = std::min<size_t>(length - done, kPage - offset);
      // Zeros written into a hole leave it a hole.
      if (pages_.count(position / kPage) == 0 && isZero(in + done, piece)) {
        done += piece;
        continue;
      }
      std::vector<uint8_t>& page = pages_[position / kPage];
      if (page.empty()) page.resize(kPage);
      std::copy_n(in + done, piece, page.data() + offset);
      done += piece;
    }
    size_ = std::max<uint64_t>(size_, at + length);
  }
  void resize(uint64_t length) {
    if (length < size_) {
      pages_.erase(pages_.lower_bound((length + kPage - 1) / kPage), pages_.end());
      auto last = pages_.find(length / kPage);
      if (last != pages_.end()) std::fill(last->second.begin() + static_cast<ptrdiff_t>(length % kPage), last->second.end(), 0);
    }
    size_ = length;
  }
  std::string bytes() const {
    std::string all(static_cast<size_t>(size_), '\0');
    read(0, all.data(), all.size());
    return all;
  }

 private:
  static bool isZero(const uint8_t* bytes, size_t length) {
    static const std::vector<uint8_t> zeros(kPage);
    return std::memcmp(bytes, zeros.data(), length) == 0;
  }

  std::map<uint64_t, std::vector<uint8_t>> pages_;
  uint64_t size_ = 0;
};

class MemoryEnv : public platform::Env {
 public:
  // The moment the clock shows: 2023-11-14 22:13:20 UTC.
  static constexpr int64_t kNow = 1700000000;

  MemoryEnv() { clear(); }

  // Forgets every file and folder but the root and the temporary folder.
  void clear() {
    files_.clear();
    folders_ = {"/", "/tmp"};
  }
  // Files opened and not yet closed.
  int openFiles() const { return *openFiles_; }

  // Puts a file at `path`, making the folders above it.
  void putFile(const std::string& path, const std::string& bytes) {
    const std::string key = normalize(path);
    makeFolders(parentOf(key));
    files_[key] = std::make_shared<Bytes>(bytes);
  }
  // Writes `bytes` at `offset` of the file at `path`, which must exist;
  // bytes between its end and `offset` read as zero.
  void writeAt(const std::string& path, uint64_t offset, const std::string_view& bytes) {
    files_.at(normalize(path))->write(offset, bytes.data(), bytes.size());
  }
  void resizeFile(const std::string& path, uint64_t length) { files_.at(normalize(path))->resize(length); }
  // The stored bytes of the file at `path`, read in place; null when there
  // is none.
  const SparseBytes* fileData(const std::string& path) const {
    auto found = files_.find(normalize(path));
    return found == files_.end() ? nullptr : found->second.get();
  }
  // The bytes of the file at `path`, as stored.
  std::optional<std::string> fileBytes(const std::string& path) const {
    auto found = files_.find(normalize(path));
    if (found == files_.end()) return std::nullopt;
    return found->second->bytes();
  }
  // Every folder (empty bytes) and file under `root`, but the subtree
  // `skip`, keyed by path.
  std::map<std::string, std::optional<std::string>> snapshot(const std::string& root,
                                                             const std::string& skip = {}) const {
    const std::string base = normalize(root);
    const std::string left = skip.empty() ? std::string() : normalize(skip);
    std::map<std::string, std::optional<std::string>> view;
    auto wanted = [&](const std::string& key) {
      return isUnder(key, base) && (left.empty() || (key != left && !isUnder(key, left)));
    };
    for (const std::string& folder : folders_) {
      if (wanted(folder)) view[folder] = std::nullopt;
    }
    for (const auto& [key, bytes] : files_) {
      if (wanted(key)) view[key] = bytes->bytes();
    }
    return view;
  }

  std::unique_ptr<platform::OpenFile> openFile(const std::string& path, platform::Access access,
                                               platform::Disposition disposition) override {
    const std::string key = normalize(resolvePath(path));
    if (folders_.count(key) != 0) return failed(platform::ErrorKind::IsFolder);
    auto found = files_.find(key);
    if (found == files_.end()) {
      if (disposition == platform::Disposition::ExistingOnly) return failed(platform::ErrorKind::NotFound);
      if (folders_.count(parentOf(key)) == 0) return failed(platform::ErrorKind::NotFound);
      found = files_.emplace(key, std::make_shared<Bytes>()).first;
    } else if (disposition == platform::Disposition::CreateNew) {
      return failed(platform::ErrorKind::AlreadyExists);
    } else if (disposition == platform::Disposition::CreateAlways) {
      found->second->clear();
    }
    return std::make_unique<MemoryFile>(found->second, std::make_shared<uint64_t>(0),
                                        access == platform::Access::ReadWrite, openFiles_);
  }

  bool deleteFile(const std::string& path) override {
    return files_.erase(normalize(resolvePath(path))) != 0 || fail(platform::ErrorKind::NotFound);
  }

  bool moveFile(const std::string& from, const std::string& to) override {
    auto source = files_.find(normalize(resolvePath(from)));
    if (source == files_.end()) return fail(platform::ErrorKind::NotFound);
    const std::string target = normalize(resolvePath(to));
    if (folders_.count(parentOf(target)) == 0) return fail(platform::ErrorKind::NotFound);
    std::shared_ptr<Bytes> bytes = source->second;
    files_.erase(source);
    files_[target] = bytes;
    return true;
  }

  bool copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    auto source = files_.find(normalize(resolvePath(from)));
    if (source == files_.end()) return fail(platform::ErrorKind::NotFound);
    const std::string target = normalize(resolvePath(to));
    if (target == source->first) return fail(platform::ErrorKind::InvalidArgument);
    if (failIfExists && files_.count(target) != 0) return fail(platform::ErrorKind::AlreadyExists);
    if (folders_.count(parentOf(target)) == 0) return fail(platform::ErrorKind::NotFound);
    files_[target] = std::make_shared<Bytes>(*source->second);
    return true;
  }

  bool makeExecutable(const std::string& path) override {
    return exists(normalize(resolvePath(path))) || fail(platform::ErrorKind::NotFound);
  }
  bool copyPermissions(const std::string& from, const std::string& to) override {
    return (exists(normalize(resolvePath(from))) && exists(normalize(resolvePath(to)))) || fail(platform::ErrorKind::NotFound);
  }

  bool createDirectory(const std::string& path) override {
    const std::string key = normalize(resolvePath(path));
    if (exists(key)) return fail(platform::ErrorKind::AlreadyExists);
    if (folders_.count(parentOf(key)) == 0) return fail(platform::ErrorKind::NotFound);
    folders_.insert(key);
    return true;
  }

  bool listDirectory(const std::string& path, std::vector<platform::DirectoryEntry>* entries) override {
    const std::string key = normalize(resolvePath(path));
    if (folders_.count(key) == 0) return fail(platform::ErrorKind::NotFound);
    for (const std::string& folder : folders_) {
      if (folder != "/" && parentOf(folder) == key) entries->push_back({nameOf(folder), true});
    }
    for (const auto& [file, bytes] : files_) {
      if (parentOf(file) == key) entries->push_back({nameOf(file), false});
    }
    return true;
  }

  bool pathInfo(const std::string& path, platform::FileInfo* info) override {
    const std::string key = normalize(resolvePath(path));
    *info = platform::FileInfo{};
    info->lastWriteTime = info->lastAccessTime = info->creationTime = kNow;
    if (folders_.count(key) != 0) {
      info->directory = true;
      return true;
    }
    auto found = files_.find(key);
    if (found == files_.end()) return fail(platform::ErrorKind::NotFound);
    info->size = found->second->size();
    info->identity = reinterpret_cast<uintptr_t>(found->second.get());
    return true;
  }

  // Each component that does not exist as written is matched ignoring
  // ASCII case among its folder's entries (the first in byte order wins);
  // the rest of the path from the first component that matches nothing is
  // kept as written.
  std::string resolvePath(const std::string& path) override {
    const std::string written = normalize(path);
    if (exists(written)) return written;
    std::string resolved = "/";
    size_t start = 1;
    while (start < written.size()) {
      size_t end = written.find('/', start);
      if (end == std::string::npos) end = written.size();
      const std::string component = written.substr(start, end - start);
      const std::string exact = join(resolved, component);
      std::string match = exists(exact) ? exact : findIgnoringCase(resolved, component);
      if (match.empty()) return join(resolved, written.substr(start));
      resolved = match;
      start = end + 1;
    }
    return resolved;
  }

  std::unique_ptr<platform::OpenFile> openFileBelow(const std::string& root, const std::string& relative,
                                                    platform::Access access,
                                                    platform::Disposition disposition) override {
    std::string path;
    if (!below(root, relative, &path)) return nullptr;
    return openFile(path, access, disposition);
  }
  bool deleteFileBelow(const std::string& root, const std::string& relative) override {
    std::string path;
    return below(root, relative, &path) && deleteFile(path);
  }
  bool createFoldersBelow(const std::string& root, const std::string& relative) override {
    std::string path;
    if (!below(root, relative, &path)) return false;
    const std::string key = normalize(resolvePath(path));
    if (files_.count(key) != 0) return fail(platform::ErrorKind::NotFolder);
    makeFolders(key);
    return true;
  }
  bool moveFileBelow(const std::string& fromRoot, const std::string& fromRelative, const std::string& toRoot,
                     const std::string& toRelative) override {
    std::string from;
    std::string to;
    return below(fromRoot, fromRelative, &from) && below(toRoot, toRelative, &to) && moveFile(from, to);
  }
  bool makePrivateFolder(const std::string& path) override {
    const std::string key = normalize(resolvePath(path));
    if (files_.count(key) != 0) return fail(platform::ErrorKind::AccessDenied);
    if (folders_.count(parentOf(key)) == 0) return fail(platform::ErrorKind::NotFound);
    folders_.insert(key);
    return true;
  }
  std::unique_ptr<platform::OpenFile> openFolder(const std::string& path) override {
    const std::string key = normalize(resolvePath(path));
    if (folders_.count(key) == 0) return failed(platform::ErrorKind::NotFound);
    std::shared_ptr<Bytes>& handle = folderHandles_[key];
    if (!handle) handle = std::make_shared<Bytes>();
    return std::make_unique<MemoryFile>(handle, std::make_shared<uint64_t>(0), false, openFiles_);
  }

  std::string tempFolder() override { return "/tmp/"; }

  std::string createUniqueTempFile(const std::string& folder, const std::string& prefix) override {
    const std::string base = normalize(folder.empty() ? "/" : resolvePath(folder));
    if (folders_.count(base) == 0) {
      fail(platform::ErrorKind::NotFound);
      return {};
    }
    for (;;) {
      const std::string path = join(base, prefix + std::to_string(100000 + nextUnique_++));
      if (exists(path)) continue;
      files_[path] = std::make_shared<Bytes>();
      return path;
    }
  }

  void sleepMilliseconds(uint32_t) override {}
  int64_t currentTime() override { return kNow; }

 private:
  using Bytes = SparseBytes;

  class MemoryFile : public platform::OpenFile {
   public:
    MemoryFile(std::shared_ptr<Bytes> bytes, std::shared_ptr<uint64_t> position, bool writable,
               std::shared_ptr<int> openFiles)
        : bytes_(std::move(bytes)), position_(std::move(position)), writable_(writable), openFiles_(std::move(openFiles)) {
      ++*openFiles_;
    }
    ~MemoryFile() override { close(); }

    bool read(void* buffer, uint32_t length, uint32_t* done) override {
      *done = static_cast<uint32_t>(bytes_->read(*position_, buffer, length));
      *position_ += *done;
      return true;
    }
    bool write(const void* buffer, uint32_t length, uint32_t* done) override {
      *done = 0;
      if (!writable_) return fail(platform::ErrorKind::BadHandle);
      bytes_->write(*position_, buffer, length);
      *position_ += length;
      *done = length;
      return true;
    }
    bool seekTo(uint64_t position) override {
      *position_ = position;
      return true;
    }
    int64_t position() override { return static_cast<int64_t>(*position_); }
    int64_t size() override { return static_cast<int64_t>(bytes_->size()); }
    bool flush() override { return true; }
    bool truncate(uint64_t length) override {
      if (!writable_) return fail(platform::ErrorKind::BadHandle);
      bytes_->resize(length);
      return true;
    }
    bool close() override {
      if (closed_) return true;
      closed_ = true;
      unlock();
      --*openFiles_;
      return true;
    }
    std::unique_ptr<platform::OpenFile> duplicate() override {
      return std::make_unique<MemoryFile>(bytes_, position_, writable_, openFiles_);
    }
    bool isRegularFile() override { return true; }
    bool getInfo(platform::FileInfo* info) override {
      *info = platform::FileInfo{};
      info->size = bytes_->size();
      info->lastWriteTime = info->lastAccessTime = info->creationTime = kNow;
      info->identity = reinterpret_cast<uintptr_t>(bytes_.get());
      return true;
    }
    int descriptor() const override { return -1; }
    bool lock(platform::Lock kind) override {
      if (held_) return fail(platform::wouldBlockError());
      LockState& state = locks()[bytes_.get()];
      const bool conflict =
          state.exclusive || (kind == platform::Lock::Exclusive && state.shared > 0);
      if (conflict) return fail(platform::wouldBlockError());
      if (kind == platform::Lock::Exclusive) {
        state.exclusive = true;
      } else {
        ++state.shared;
      }
      held_ = kind;
      return true;
    }

   private:
    struct LockState {
      int shared = 0;
      bool exclusive = false;
    };
    // The locks of every file and folder, by the identity of their bytes.
    static std::map<const void*, LockState>& locks() {
      static std::map<const void*, LockState> table;
      return table;
    }
    void unlock() {
      if (!held_) return;
      LockState& state = locks()[bytes_.get()];
      if (*held_ == platform::Lock::Exclusive) {
        state.exclusive = false;
      } else {
        --state.shared;
      }
      if (!state.exclusive && state.shared == 0) locks().erase(bytes_.get());
      held_.reset();
    }

    std::optional<platform::Lock> held_;
    std::shared_ptr<Bytes> bytes_;
    std::shared_ptr<uint64_t> position_;
    bool writable_;
    std::shared_ptr<int> openFiles_;
    bool closed_ = false;
  };

  static bool fail(platform::ErrorKind kind) { return fail(platform::systemError(kind)); }
  static bool fail(int error) {
    platform::setLastSystemError(error);
    return false;
  }
  static std::unique_ptr<platform::OpenFile> failed(platform::ErrorKind kind) {
    fail(kind);
    return nullptr;
  }

  // "/" followed by the components, "." and empty ones left out and ".."
  // taking back the one before.
  static std::string normalize(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find_first_of("/\\", start);
      if (end == std::string::npos) end = path.size();
      const std::string part = path.substr(start, end - start);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      start = end + 1;
    }
    std::string key;
    for (const std::string& part : parts) key += "/" + part;
    return key.empty() ? "/" : key;
  }
  // `relative` below `root` as one path; false (outsideRootError) when a
  // ".." would climb above the root.
  static bool below(const std::string& root, const std::string& relative, std::string* path) {
    int depth = 0;
    size_t start = 0;
    while (start <= relative.size()) {
      size_t end = relative.find_first_of("/\\", start);
      if (end == std::string::npos) end = relative.size();
      const std::string part = relative.substr(start, end - start);
      if (part == ".." && --depth < 0) return fail(platform::outsideRootError());
      if (!part.empty() && part != "." && part != "..") ++depth;
      start = end + 1;
    }
    *path = normalize(root) + "/" + relative;
    return true;
  }
  static std::string parentOf(const std::string& key) {
    const size_t slash = key.rfind('/');
    return slash == 0 ? "/" : key.substr(0, slash);
  }
  static std::string nameOf(const std::string& key) { return key.substr(key.rfind('/') + 1); }
  static std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
  }
  static bool isUnder(const std::string& key, const std::string& base) {
    return base == "/" || key == base || key.rfind(base + "/", 0) == 0;
  }
  static std::string lower(std::string text) {
    for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
  }

  bool exists(const std::string& key) const { return files_.count(key) != 0 || folders_.count(key) != 0; }

  void makeFolders(const std::string& key) {
    if (key == "/" || folders_.count(key) != 0) return;
    makeFolders(parentOf(key));
    folders_.insert(key);
  }

  std::string findIgnoringCase(const std::string& folder, const std::string& name) const {
    const std::string wanted = lower(name);
    std::string found;
    auto consider = [&](const std::string& key) {
      if (key != "/" && parentOf(key) == folder && lower(nameOf(key)) == wanted && (found.empty() || key < found)) {
        found = key;
      }
    };
    for (const std::string& key : folders_) consider(key);
    for (const auto& [key, bytes] : files_) consider(key);
    return found;
  }

  std::map<std::string, std::shared_ptr<Bytes>> files_;
  std::set<std::string> folders_;
  // Stand-ins for open folders: their identity is what folder locks go by.
  std::map<std::string, std::shared_ptr<Bytes>> folderHandles_;
  std::shared_ptr<int> openFiles_ = std::make_shared<int>(0);
  uint64_t nextUnique_ = 0;
};

}  // namespace testing_support
