#include "axp/common/package_seal.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "axp/common/byte_order.h"
#include "axp/common/checksum.h"
#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/file_util.h"
#include "axp/common/out_of_memory.h"
#include "axp/common/scrambled_io.h"
#include "keyed_rewrite.h"
#include "package_reader.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/system.h"

namespace AXP {
namespace {

// Bytes checksummed per read: large pieces keep the per-read system cost
// well below the cost of the checksum itself on files of many megabytes.
constexpr uint32_t kPieceBytes = 1u << 20;
constexpr char kTrailerMismatch[] = "File=%s(checksum trailer mismatch)";
constexpr char kNoTrailer[] = "File=%s(no checksum trailer)";

using Trailer = std::array<uint8_t, kChecksumTrailerSize>;

Trailer encodeTrailer(uint32_t checksum) {
  Trailer trailer;
  writeLittleEndian32(trailer.data(), checksum);
  return trailer;
}

// A package whose trailer does not match is plain when it is an archive
// that ends the file, and damaged otherwise (not an archive, or one that
// ends elsewhere).
SealState sealOf(const std::string& path, TrailerState trailer) {
  if (trailer == TrailerState::Matches) return SealState::Sealed;
  PackageReader archive;
  const PackageIo* io = isScrambledZip(path) ? scrambledIo() : defaultPackageIo();
  const bool plain = archive.open(platform::resolvePath(path), io) &&
                     archive.archiveEnd() == static_cast<uint64_t>(platform::fileSize(path));
  return plain ? SealState::Plain : SealState::Damaged;
}

bool reportChecksumFailure() {
  reportError(ReadFailed, messages::kChecksumError, platform::lastSystemError());
  return false;
}

}  // namespace

bool crcFile(const std::string& path, uint32_t* out, bool skipTrailer) {
  *out = crcStart();
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) return reportChecksumFailure();
  const int64_t size = file.size();
  if (size < 0) return reportChecksumFailure();
  uint64_t remaining = static_cast<uint64_t>(size);
  if (skipTrailer) remaining = remaining > kChecksumTrailerSize ? remaining - kChecksumTrailerSize : 0;

  const uint32_t pieceBytes = static_cast<uint32_t>(std::min<uint64_t>(remaining, kPieceBytes));
  std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[pieceBytes]);
  if (!piece) return outOfMemory(false);
  uint32_t state = crcStart();
  while (remaining > 0) {
    uint32_t count = 0;
    // A failed read would leave a checksum of part of the file; it is an
    // error, not a result.
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(pieceBytes, remaining));
    if (!file.read(piece.get(), want, &count)) return reportChecksumFailure();
    if (count == 0) break;
    state = crcFeed(state, piece.get(), count);
    remaining -= count;
  }
  *out = crcFinish(state);
  return true;
}

bool appendChecksumTrailer(const std::string& path) {
  if (path.empty()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  uint32_t checksum = 0;
  if (!crcFile(path, &checksum, false)) return false;
  platform::File file;
  if (!file.open(path, platform::Access::ReadWrite, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
    return false;
  }
  if (!file.seek(0, platform::SeekFrom::End)) {
    reportError(SeekFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
    return false;
  }
  const Trailer trailer = encodeTrailer(checksum);
  uint32_t written = 0;
  // A trailer that does not reach the disk in full, or a close that fails,
  // leaves an unsealed file: both are write failures.
  if (!file.write(trailer.data(), kChecksumTrailerSize, &written) || written != kChecksumTrailerSize ||
      !file.close()) {
    reportError(WriteFailed, messages::kWriteError, platform::lastSystemError());
    return false;
  }
  return true;
}

bool readTrailerState(const std::string& path, TrailerState* state) {
  uint32_t checksum = 0;
  if (!crcFile(path, &checksum, true)) return false;
  platform::File file;
  if (!file.open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
    return false;
  }
  if (file.size() < static_cast<int64_t>(kChecksumTrailerSize)) {
    *state = TrailerState::TooShort;
    return true;
  }
  if (!file.seek(-static_cast<int32_t>(kChecksumTrailerSize), platform::SeekFrom::End)) {
    reportError(SeekFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
    return false;
  }
  Trailer trailer;
  uint32_t done = 0;
  if (!file.read(trailer.data(), kChecksumTrailerSize, &done) || done != kChecksumTrailerSize) {
    reportError(ReadFailed, messages::kSystemError, platform::lastSystemError());
    return false;
  }
  *state = readLittleEndian32(trailer.data()) == checksum ? TrailerState::Matches : TrailerState::Differs;
  return true;
}

bool checkChecksumTrailer(const std::string& path) {
  TrailerState state = TrailerState::Differs;
  return readTrailerState(path, &state) && state == TrailerState::Matches;
}

bool copyAndSealPackage(const std::string& sourcePath, const std::string& targetPath) {
  if (sourcePath.empty() || targetPath.empty()) {
    reportError(BadArgument, messages::kNone);
    return false;
  }
  const bool sealed = checkChecksumTrailer(sourcePath);
  return rewriteKeyed(sourcePath, targetPath, sealed, true);
}

bool examineSeal(const std::string& path, SealState* state) {
  TrailerState trailer = TrailerState::Differs;
  if (!readTrailerState(path, &trailer)) return false;
  *state = sealOf(path, trailer);
  return true;
}

bool checkPackageSeal(const std::string& path, bool trailerRequired, SealState* state) {
  TrailerState trailer = TrailerState::Differs;
  if (!readTrailerState(path, &trailer)) return false;
  if (trailer == TrailerState::TooShort) {
    reportError(BadArgument, messages::kTooSmall, path.c_str());
    return false;
  }
  const SealState found = sealOf(path, trailer);
  if (state != nullptr) *state = found;
  if (found == SealState::Sealed || (found == SealState::Plain && !trailerRequired)) return true;
  reportError(BadData, found == SealState::Plain ? kNoTrailer : kTrailerMismatch, path.c_str());
  return false;
}

}  // namespace AXP
