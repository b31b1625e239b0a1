// Where the records of a ZIP archive lie, read from its bytes, and the
// edits tests make to damage a copy: a comment, sizes that lie. For sound
// archives only; a test that damages one takes the layout first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

constexpr size_t kZipEndSize = 22;
constexpr size_t kZipEndDirectoryOffset = 16;
constexpr size_t kZipEndCommentLength = 20;
constexpr size_t kZipCentralSize = 46;
constexpr size_t kZipCentralMethod = 10;
constexpr size_t kZipCentralCompressedSize = 20;
constexpr size_t kZipCentralNameLength = 28;
constexpr size_t kZipCentralLocalOffset = 42;
constexpr size_t kZipLocalSize = 30;
constexpr size_t kZipLocalCompressedSize = 18;
constexpr size_t kZipLocalNameLength = 26;

inline uint32_t zipField(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

inline void setZipField(std::string* bytes, size_t at, int width, uint32_t value) {
  for (int i = 0; i < width; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

struct ZipLayout {
  size_t endRecord = 0;
  std::vector<size_t> central;    // directory record of each entry
  std::vector<size_t> local;      // local header of each entry
  std::vector<size_t> dataBegin;  // first byte of each entry's data
  std::vector<size_t> dataEnd;    // one past its last byte
  std::vector<bool> deflated;

  bool inStoredData(size_t at) const {
    for (size_t i = 0; i < dataBegin.size(); ++i) {
      if (!deflated[i] && at >= dataBegin[i] && at < dataEnd[i]) return true;
    }
    return false;
  }
};

inline ZipLayout zipLayout(const std::string& archive) {
  // The sum of `count` 16-bit lengths, one after the other from `at`.
  auto lengths = [&archive](size_t at, int count) {
    size_t sum = 0;
    for (int i = 0; i < count; ++i) sum += zipField(archive, at + 2 * i, 2);
    return sum;
  };
  ZipLayout layout;
  layout.endRecord = archive.rfind(std::string("PK\x05\x06", 4));
  for (size_t at = zipField(archive, layout.endRecord + kZipEndDirectoryOffset, 4); at < layout.endRecord;
       at += kZipCentralSize + lengths(at + kZipCentralNameLength, 3)) {
    const size_t local = zipField(archive, at + kZipCentralLocalOffset, 4);
    const size_t data = local + kZipLocalSize + lengths(local + kZipLocalNameLength, 2);
    layout.central.push_back(at);
    layout.local.push_back(local);
    layout.dataBegin.push_back(data);
    layout.dataEnd.push_back(data + zipField(archive, at + kZipCentralCompressedSize, 4));
    layout.deflated.push_back(zipField(archive, at + kZipCentralMethod, 2) != 0);
  }
  return layout;
}

// The archive (ending with its end record) with `comment` as its comment.
inline std::string withZipComment(const std::string& archive, const std::string& comment) {
  std::string bytes = archive;
  setZipField(&bytes, bytes.size() - kZipEndSize + kZipEndCommentLength, 2, static_cast<uint32_t>(comment.size()));
  return bytes + comment;
}

// Makes both records of entry `index` claim `size` as its uncompressed
// size, or as its compressed size with `compressed`.
inline void claimZipSize(std::string* archive, const ZipLayout& layout, size_t index, bool compressed,
                         uint32_t size) {
  const size_t field = compressed ? 0 : 4;
  setZipField(archive, layout.central[index] + kZipCentralCompressedSize + field, 4, size);
  setZipField(archive, layout.local[index] + kZipLocalCompressedSize + field, 4, size);
}

}  // namespace testing_support
