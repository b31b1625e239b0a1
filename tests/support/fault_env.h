// An Env for fault tests: every write to a file it opened is counted, one
// chosen write can fail as on a full disk, a hook sees each write before it
// is made (the crash tests end the process there), deletes can be refused
// as for a file another program holds, and pauses can return at once.
// Everything else goes to the Env it wraps.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/env.h"
#include "platform/system.h"

namespace testing_support {

class FaultEnv : public platform::EnvWrapper {
 public:
  explicit FaultEnv(platform::Env* target = platform::defaultEnv()) : EnvWrapper(target) {}

  // Writes made through files of this Env so far.
  uint64_t writes() const { return writes_.load(); }
  // The `count`-th write from now (from 1) fails as on a full disk and writes
  // nothing; 0 disarms.
  void failWrite(uint64_t count) { failing_ = count == 0 ? 0 : writes_.load() + count; }
  // Called with each write's number (from 1) before the write is made.
  void setBeforeWrite(std::function<void(uint64_t number)> hook) { beforeWrite_ = std::move(hook); }
  // Writes whose bytes `refuse` picks fail with ENOSPC and write nothing.
  void failWritesOf(std::function<bool(const void* bytes, uint32_t length)> refuse) { refuse_ = std::move(refuse); }
  // Pauses return at once.
  void skipSleeps(bool skip) { skipSleeps_ = skip; }
  // The file systems report `bytes` free; -1 leaves the answer to the
  // wrapped Env.
  void setFreeSpace(int64_t bytes) { freeSpace_ = bytes; }

  bool freeSpace(const std::string& path, uint64_t* bytes) override {
    if (freeSpace_ < 0) return target()->freeSpace(path, bytes);
    *bytes = static_cast<uint64_t>(freeSpace_);
    return true;
  }
  // Every delete of a file that is there fails with `error` and deletes
  // nothing; 0 lets them pass.
  void refuseDeletes(int error) { refuseDeletes_ = error; }

  bool deleteFile(const std::string& path) override {
    if (refusesDelete(path)) return false;
    return target()->deleteFile(path);
  }
  bool deleteFileBelow(const std::string& root, const std::string& relative) override {
    if (refusesDelete(root + "/" + relative)) return false;
    return target()->deleteFileBelow(root, relative);
  }

  std::unique_ptr<platform::OpenFile> openFile(const std::string& path, platform::Access access,
                                               platform::Disposition disposition) override {
    std::unique_ptr<platform::OpenFile> file = target()->openFile(path, access, disposition);
    if (!file) return nullptr;
    return std::make_unique<CountedFile>(this, std::move(file));
  }

  std::unique_ptr<platform::OpenFile> openFileBelow(const std::string& root, const std::string& relative,
                                                    platform::Access access,
                                                    platform::Disposition disposition) override {
    std::unique_ptr<platform::OpenFile> file = target()->openFileBelow(root, relative, access, disposition);
    if (!file) return nullptr;
    return std::make_unique<CountedFile>(this, std::move(file));
  }

  void sleepMilliseconds(uint32_t milliseconds) override {
    if (!skipSleeps_) target()->sleepMilliseconds(milliseconds);
  }

 private:
  // False when this write is one that fails.
  bool admitWrite(const void* bytes, uint32_t length) {
    const uint64_t number = ++writes_;
    if (beforeWrite_) beforeWrite_(number);
    return number != failing_.load() && !(refuse_ && refuse_(bytes, length));
  }

  bool refusesDelete(const std::string& path) {
    platform::FileInfo info;
    if (refuseDeletes_ == 0 || !target()->pathInfo(path, &info)) return false;
    platform::setLastSystemError(refuseDeletes_);
    return true;
  }

  class CountedFile : public platform::OpenFile {
   public:
    CountedFile(FaultEnv* env, std::unique_ptr<platform::OpenFile> file) : env_(env), file_(std::move(file)) {}

    bool write(const void* buffer, uint32_t length, uint32_t* done) override {
      *done = 0;
      if (env_->admitWrite(buffer, length)) return file_->write(buffer, length, done);
      platform::setLastSystemError(platform::systemError(platform::ErrorKind::NoSpace));
      return false;
    }
    bool read(void* buffer, uint32_t length, uint32_t* done) override { return file_->read(buffer, length, done); }
    bool seekTo(uint64_t position) override { return file_->seekTo(position); }
    int64_t position() override { return file_->position(); }
    int64_t size() override { return file_->size(); }
    bool flush() override { return file_->flush(); }
    bool truncate(uint64_t length) override { return file_->truncate(length); }
    bool close() override { return file_->close(); }
    std::unique_ptr<platform::OpenFile> duplicate() override {
      std::unique_ptr<platform::OpenFile> copy = file_->duplicate();
      if (!copy) return nullptr;
      return std::make_unique<CountedFile>(env_, std::move(copy));
    }
    bool isRegularFile() override { return file_->isRegularFile(); }
    bool getInfo(platform::FileInfo* info) override { return file_->getInfo(info); }
    int descriptor() const override { return file_->descriptor(); }
    bool lock(platform::Lock kind) override { return file_->lock(kind); }

   private:
    FaultEnv* env_;
    std::unique_ptr<platform::OpenFile> file_;
  };

  std::atomic<uint64_t> writes_{0};
  std::atomic<uint64_t> failing_{0};
  std::function<void(uint64_t)> beforeWrite_;
  int64_t freeSpace_ = -1;
  std::function<bool(const void*, uint32_t)> refuse_;
  bool skipSleeps_ = false;
  int refuseDeletes_ = 0;
};

}  // namespace testing_support
