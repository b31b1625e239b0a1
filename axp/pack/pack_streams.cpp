// Streams over packed files: each thread reads through a read-only handle
// of its own, so streams of different threads never share a file position.
#include <memory>
#include <new>

#include "arguments.h"
#include "axp/common/error_record.h"
#include "axp/common/name_text.h"
#include "axp/common/out_of_memory.h"
#include "axp/pack/pack_file.h"
#include "data_stream.h"
#include "pack_messages.h"
#include "pack_storage.h"
#include "platform/system.h"

namespace AXP {
namespace {

// Called with the lock held.
platform::File* readHandleOfThisThread(PackStorage* storage, const std::string& path) {
  const std::thread::id thread = std::this_thread::get_id();
  auto known = storage->readHandles.find(thread);
  if (known != storage->readHandles.end()) return &known->second;
  platform::File handle;
  if (!handle.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kOpenPack, path.c_str(), platform::lastSystemError());
    return nullptr;
  }
  return &storage->readHandles.emplace(thread, std::move(handle)).first->second;
}

}  // namespace

IStream* PackFile::openFile(const char* name) try {
  return openStream(name);
} catch (const std::bad_alloc&) {
  return outOfMemory(static_cast<IStream*>(nullptr));
}

DataStream* PackFile::openStream(const char* name) {
  std::lock_guard<std::mutex> guard(lock_);
  if (isMissing(name) || !storage_->file.isOpen()) {
    reportError(BadArgument, messages::kNone);
    return nullptr;
  }
  const int32_t position = find(normalizeName(name, true, true));
  if (position < 0) {
    reportError(NotFound, messages::kName, name);
    return nullptr;
  }
  if (!blockIndexInRange(position)) {
    reportError(ReadFailed, messages::kOpenFileOutOfRange);
    return nullptr;
  }
  platform::File* handle = readHandleOfThisThread(storage_.get(), path_);
  if (handle == nullptr) return nullptr;
  const BlockEntry& block = blocks_[hashTable_[position].blockIndex()];
  auto stream = std::make_unique<DataStream>(this, handle, block.offset, block.size);
  if (block.size <= kPreloadLimit) stream->preload();
  streams_.push_back(stream.get());
  return stream.release();
}

void PackFile::releaseStream(DataStream* stream) {
  std::lock_guard<std::mutex> guard(lock_);
  streams_.remove(stream);
  delete stream;
}

uint32_t PackFile::getFileSize(const char* name) try {
  if (isMissing(name)) {
    reportError(BadArgument, messages::kNone);
    return 0;
  }
  const int32_t position = find(normalizeName(name, true, true));
  if (position < 0) {
    reportError(NotFound, messages::kName, name);
    return 0;
  }
  if (!blockIndexInRange(position)) {
    reportError(ReadFailed, messages::kFileSizeOutOfRange);
    return 0;
  }
  return blocks_[hashTable_[position].blockIndex()].size;
} catch (const std::bad_alloc&) {
  return outOfMemory(0u);
}

}  // namespace AXP
