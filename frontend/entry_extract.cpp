#include "frontend/entry_extract.h"

#include "axp/common/package_reader.h"
#include "axp/updater/updater.h"
#include "platform/file.h"

namespace qelt {
namespace {

constexpr uint32_t kReadBlock = 4096;

// Copies the entry to the target in 4096-byte blocks, from its start until
// its read position reaches its size.
bool copyEntry(AXP::PackageEntryReader& entry, platform::File& target) {
  if (!entry.seek(0)) return false;
  char block[kReadBlock];
  for (;;) {
    int64_t got = entry.read(block, kReadBlock);
    if (got < 0) return false;
    if (got == 0) return true;
    uint32_t written = 0;
    if (!target.write(block, static_cast<uint32_t>(got), &written) || written != static_cast<uint32_t>(got)) {
      return false;
    }
    if (entry.tell() >= entry.size()) return true;
  }
}

}  // namespace

bool extractEntryToFile(AXP::IUpdater* updater, const std::string& packagePath, const std::string& entryName,
                        const std::string& targetPath, uint64_t maxSize) {
  AXP::PackageReader archive;
  if (!archive.open(packagePath, updater->selectIo(packagePath.c_str()))) return false;
  const AXP::PackageEntryInfo* found = archive.find(entryName);
  AXP::PackageEntryReader entry(archive);
  if (found == nullptr || !entry.open(*found) || entry.size() > maxSize) return false;
  platform::File target;
  if (!target.open(targetPath, platform::Access::ReadWrite, platform::Disposition::CreateAlways)) return false;
  if (entry.size() > 0 && !copyEntry(entry, target)) return false;
  return target.close();
}

}  // namespace qelt
