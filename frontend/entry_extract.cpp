#include "frontend/entry_extract.h"

#include "axp/common/package_reader.h"
#include "axp/updater/updater.h"

namespace qelt {

bool readEntry(AXP::IUpdater* updater, const std::string& packagePath, const std::string& entryName,
               uint64_t maxSize, std::string* bytes) {
  AXP::PackageReader archive;
  if (!archive.open(packagePath, updater->selectIo(packagePath.c_str()))) return false;
  const AXP::PackageEntryInfo* found = archive.find(entryName);
  AXP::PackageEntryReader entry(archive);
  if (found == nullptr || !entry.open(*found) || entry.size() > maxSize || !entry.seek(0)) return false;
  std::string read(entry.size(), '\0');
  uint32_t done = 0;
  while (done < entry.size()) {
    const int64_t got = entry.read(read.data() + done, entry.size() - done);
    if (got <= 0) return false;
    done += static_cast<uint32_t>(got);
  }
  *bytes = std::move(read);
  return true;
}

}  // namespace qelt
