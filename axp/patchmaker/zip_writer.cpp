#include "axp/patchmaker/zip_writer.h"

#include <atomic>
#include <memory>
#include <new>

#include "axp/patchmaker/zip_archive_writer.h"
#include "platform/file_info.h"

namespace AXP {
namespace {

std::atomic<uint32_t> lastResult{kZipSuccess};

uint32_t remember(uint32_t result) {
  lastResult = result;
  return result;
}

uint32_t checkHandle(const ArchiveHandle* handle) {
  if (handle == nullptr) return kZipBadArguments;
  if (handle->kind != kArchiveKindCreating) return kZipMixedUse;
  return kZipSuccess;
}

}  // namespace

ArchiveHandle* createArchive(const void* target, uint32_t length, uint32_t mode) try {
  // Entry times are local times: follow the zone as it is now.
  platform::refreshTimeZone();
  auto writer = std::make_unique<ArchiveWriter>();
  if (remember(writer->create(target, length, mode)) != kZipSuccess) return nullptr;
  return new ArchiveHandle{kArchiveKindCreating, writer.release()};
} catch (const std::bad_alloc&) {
  remember(kZipNoMemory);
  return nullptr;
}

uint32_t addToArchive(ArchiveHandle* handle, const char* name, const void* source, uint32_t length,
                      uint32_t mode, uint32_t method) try {
  const uint32_t checked = checkHandle(handle);
  if (checked != kZipSuccess) return remember(checked);
  return remember(handle->writer->add(name, source, length, mode, method));
} catch (const std::bad_alloc&) {
  return remember(kZipNoMemory);
}

uint32_t getArchiveMemory(ArchiveHandle* handle, void** buffer, uint32_t* length) try {
  const uint32_t checked = checkHandle(handle);
  if (checked != kZipSuccess) {
    *buffer = nullptr;
    *length = 0;
    return remember(checked);
  }
  return remember(handle->writer->memory(buffer, length));
} catch (const std::bad_alloc&) {
  return remember(kZipNoMemory);
}

uint32_t closeArchive(ArchiveHandle* handle) try {
  const uint32_t checked = checkHandle(handle);
  if (checked != kZipSuccess) return remember(checked);
  std::unique_ptr<ArchiveWriter> writer(handle->writer);
  delete handle;
  return remember(writer->close());
} catch (const std::bad_alloc&) {
  return remember(kZipNoMemory);
}

uint32_t lastArchiveResult() { return lastResult; }

}  // namespace AXP
