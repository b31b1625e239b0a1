#include "axp/common/package_reader.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "axp/common/byte_order.h"

namespace AXP {
namespace {

// Local file header.
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kLocalSize = 30;
constexpr uint32_t kLocalFlags = 6;
constexpr uint32_t kLocalMethod = 8;
constexpr uint32_t kLocalCrc = 14;
constexpr uint32_t kLocalCompressedSize = 18;
constexpr uint32_t kLocalSize32 = 22;
constexpr uint32_t kLocalNameLength = 26;
constexpr uint32_t kLocalExtraLength = 28;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

// General-purpose flags: any kind of encryption, and sizes and CRC that
// follow the data instead of filling the local header.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kFlagMaskedHeader = 0x2000;
constexpr uint16_t kEncryptionFlags = kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedHeader;
constexpr uint16_t kFlagDataDescriptor = 0x0008;

constexpr uint32_t kZip64Value = 0xFFFFFFFF;

// Deflate turns at most 2 bits into 258 bytes: no stream inflates to more
// than 1032 times its own size. A directory claiming more is lying.
constexpr uint64_t kDeflateLargestRatio = 1032;

// Compressed data is fed to the inflater in pieces of at most this size.
constexpr uint32_t kInputPiece = 16384;
// Bytes skipped over by a seek go through a buffer of this size.
constexpr uint32_t kSkipPiece = 4096;

// What the directory record alone tells against reading the entry.
ZipError recordProblem(const PackageEntryInfo& entry) {
  if ((entry.flags & kEncryptionFlags) != 0) return ZipError::Unsupported;
  if (entry.method != kMethodStored && entry.method != kMethodDeflated) return ZipError::Unsupported;
  if (entry.compressedSize == kZip64Value || entry.size == kZip64Value || entry.localHeaderOffset == kZip64Value) {
    return ZipError::TooLarge;
  }
  const bool sizesFit = entry.method == kMethodStored
                            ? entry.compressedSize == entry.size
                            : uint64_t{entry.size} <= uint64_t{entry.compressedSize} * kDeflateLargestRatio;
  // An empty entry has no last byte to check the CRC at; its CRC is 0.
  if (!sizesFit || (entry.size == 0 && entry.crc != 0)) return ZipError::Corrupted;
  return ZipError::None;
}

}  // namespace

// zlib's raw inflater and the compressed bytes waiting for it.
struct PackageEntryReader::Inflater {
  z_stream stream{};
  bool ready = false;
  bool ended = false;        // the deflate stream has ended
  uint32_t consumed = 0;     // compressed bytes read from the archive
  std::unique_ptr<uint8_t[]> input;
  uint32_t inputCapacity = 0;

  ~Inflater() {
    if (ready) inflateEnd(&stream);
  }
};

PackageEntryReader::PackageEntryReader(PackageReader& archive) : archive_(archive) {}

PackageEntryReader::~PackageEntryReader() = default;

bool PackageEntryReader::fail(ZipError error) {
  failed_ = true;
  return archive_.fail(error);
}

bool PackageEntryReader::open(const PackageEntryInfo& entry) {
  const ZipError problem = recordProblem(entry);
  if (problem != ZipError::None) return fail(problem);
  if (!readLocalHeader(entry)) return false;
  method_ = entry.method;
  compressedSize_ = entry.compressedSize;
  size_ = entry.size;
  expectedCrc_ = entry.crc;
  position_ = 0;
  crc_ = static_cast<uint32_t>(crc32(0, nullptr, 0));
  crcEnd_ = 0;
  failed_ = false;
  inflater_.reset();
  if (method_ == kMethodDeflated && !restartInflation()) return false;
  open_ = true;
  return true;
}

// The local header and its name (which must be the directory's) come in
// one read; the entry's data follows them and, like every entry's, lies
// before the directory.
bool PackageEntryReader::readLocalHeader(const PackageEntryInfo& entry) {
  const uint64_t dataLimit = archive_.directoryOffset_;
  const uint32_t headerSize = kLocalSize + static_cast<uint32_t>(entry.name.size());
  if (uint64_t{entry.localHeaderOffset} + headerSize > dataLimit) return fail(ZipError::Corrupted);
  std::string header(headerSize, '\0');
  if (!archive_.readAt(entry.localHeaderOffset, header.data(), headerSize)) return fail(archive_.error());
  const auto* local = reinterpret_cast<const uint8_t*>(header.data());
  const uint16_t flags = readLittleEndian16(local + kLocalFlags);
  dataOffset_ = uint64_t{entry.localHeaderOffset} + kLocalSize + readLittleEndian16(local + kLocalNameLength) +
                readLittleEndian16(local + kLocalExtraLength);
  if ((flags & kEncryptionFlags) != 0) return fail(ZipError::Unsupported);
  // Written in one pass, an entry leaves its CRC and sizes to a descriptor
  // behind its data; the directory's values are the ones checked then.
  const bool fieldsAgree = (flags & kFlagDataDescriptor) != 0 ||
                           (readLittleEndian32(local + kLocalCrc) == entry.crc &&
                            readLittleEndian32(local + kLocalCompressedSize) == entry.compressedSize &&
                            readLittleEndian32(local + kLocalSize32) == entry.size);
  const bool sameEntry = readLittleEndian32(local) == kLocalSignature &&
                         readLittleEndian16(local + kLocalMethod) == entry.method &&
                         readLittleEndian16(local + kLocalNameLength) == entry.name.size() &&
                         header.compare(kLocalSize, headerSize, entry.name) == 0;
  if (!sameEntry || !fieldsAgree || dataOffset_ + entry.compressedSize > dataLimit) return fail(ZipError::Corrupted);
  return true;
}

bool PackageEntryReader::restartInflation() {
  if (!inflater_) {
    inflater_.reset(new (std::nothrow) Inflater());
    if (!inflater_) return fail(ZipError::OutOfMemory);
    inflater_->inputCapacity = std::min(compressedSize_, kInputPiece);
    inflater_->input.reset(new (std::nothrow) uint8_t[std::max(inflater_->inputCapacity, 1u)]);
    if (!inflater_->input) return fail(ZipError::OutOfMemory);
    // Raw deflate: no zlib header or trailer around the stream.
    if (inflateInit2(&inflater_->stream, -MAX_WBITS) != Z_OK) return fail(ZipError::OutOfMemory);
    inflater_->ready = true;
  } else if (inflateReset(&inflater_->stream) != Z_OK) {
    return fail(ZipError::Corrupted);
  }
  inflater_->stream.avail_in = 0;
  inflater_->ended = false;
  inflater_->consumed = 0;
  position_ = 0;
  return true;
}

bool PackageEntryReader::account(const uint8_t* bytes, uint32_t count, uint32_t at) {
  if (at <= crcEnd_ && at + count > crcEnd_) {
    const uint32_t skip = crcEnd_ - at;
    crc_ = static_cast<uint32_t>(crc32(crc_, bytes + skip, count - skip));
    crcEnd_ = at + count;
    if (crcEnd_ == size_ && crc_ != expectedCrc_) return fail(ZipError::Corrupted);
  }
  return true;
}

bool PackageEntryReader::readStored(uint8_t* buffer, uint32_t length) {
  return archive_.readAt(dataOffset_ + position_, buffer, length) || fail(archive_.error());
}

bool PackageEntryReader::readDeflated(uint8_t* buffer, uint32_t length) {
  Inflater& inflater = *inflater_;
  z_stream& stream = inflater.stream;
  stream.next_out = buffer;
  stream.avail_out = length;
  while (stream.avail_out > 0) {
    // Output is asked for only up to the entry's size, so an ended stream
    // means the data is shorter than the directory says.
    if (inflater.ended) return fail(ZipError::Corrupted);
    if (stream.avail_in == 0) {
      const uint32_t piece = std::min(inflater.inputCapacity, compressedSize_ - inflater.consumed);
      if (piece == 0) return fail(ZipError::Corrupted);
      if (!archive_.readAt(dataOffset_ + inflater.consumed, inflater.input.get(), piece)) {
        return fail(archive_.error());
      }
      inflater.consumed += piece;
      stream.next_in = inflater.input.get();
      stream.avail_in = piece;
    }
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      inflater.ended = true;
    } else if (result != Z_OK) {
      return fail(result == Z_MEM_ERROR ? ZipError::OutOfMemory : ZipError::Corrupted);
    }
  }
  return true;
}

bool PackageEntryReader::usable() {
  if (!open_) return archive_.fail(ZipError::NoEntry);
  // A failure leaves the error it had in the archive.
  return !failed_;
}

int64_t PackageEntryReader::read(void* buffer, uint32_t length) {
  if (!usable()) return -1;
  const uint32_t count = std::min(length, size_ - position_);
  if (count == 0) return 0;
  auto* bytes = static_cast<uint8_t*>(buffer);
  const bool got = method_ == kMethodStored ? readStored(bytes, count) : readDeflated(bytes, count);
  if (!got || !account(bytes, count, position_)) return -1;
  position_ += count;
  return count;
}

bool PackageEntryReader::skipTo(uint32_t position) {
  uint8_t scratch[kSkipPiece];
  while (position_ < position) {
    if (read(scratch, std::min(position - position_, kSkipPiece)) <= 0) return false;
  }
  return true;
}

bool PackageEntryReader::seek(uint32_t position) {
  if (!usable()) return false;
  if (position > size_) return archive_.fail(ZipError::SeekFailed);
  // Bytes past the CRC's reach are read through, so that the check still
  // covers every byte of the entry.
  if (method_ == kMethodStored) {
    position_ = std::min(position, crcEnd_);
  } else if (position < position_ && !restartInflation()) {
    return false;
  }
  return skipTo(position);
}

}  // namespace AXP
