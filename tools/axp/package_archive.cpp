#include "package_archive.h"

#include "axp/common/byte_order.h"
#include "axp/common/package_reader.h"
#include "axp/updater/lzma_entry.h"
#include "axp/common/scrambled_io.h"
#include "platform/path.h"

namespace axptool {
namespace {

// A scrambled package is read through the descrambling table, a plain
// archive through the default one.
bool openArchive(const std::string& packagePath, AXP::PackageReader* archive) {
  const AXP::PackageIo* io =
      AXP::isScrambledZip(packagePath) ? AXP::scrambledIo() : AXP::defaultPackageIo();
  return archive->open(platform::resolvePath(packagePath), io) || AXP::reportZipError(archive->error());
}

// The size an LZMA-packed entry declares in its header; the entry's own
// size for stored data.
bool dataSize(AXP::PackageReader& archive, const AXP::PackageEntryInfo& info, uint64_t* size) {
  *size = info.size;
  if (info.size <= AXP::kLzmaStoredLimit) return true;
  AXP::PackageEntryReader entry(archive);
  uint8_t header[AXP::kLzmaHeaderSize];
  // More than 40 bytes are in the entry, so a sound read brings the size field.
  if (!entry.open(info) || entry.read(header, sizeof header) < static_cast<int64_t>(AXP::kLzmaUnpackedSizeOffset + 4)) {
    return AXP::reportZipError(archive.error());
  }
  if (AXP::isLzmaEntry(header, info.size)) *size = AXP::readLittleEndian32(header + AXP::kLzmaUnpackedSizeOffset);
  return true;
}

}  // namespace

bool listPackageEntries(const std::string& packagePath, std::vector<PackageEntry>* entries) {
  AXP::PackageReader archive;
  if (!openArchive(packagePath, &archive)) return false;
  entries->clear();
  for (const AXP::PackageEntryInfo& info : archive.entries()) {
    PackageEntry listed{info.name, 0, info.compressedSize};
    if (!dataSize(archive, info, &listed.size)) return false;
    entries->push_back(listed);
  }
  return true;
}

}  // namespace axptool
