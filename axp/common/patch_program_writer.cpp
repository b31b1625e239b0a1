// Writing patch programs: the stub, its start record set, then the
// container.
#include <cstdint>
#include <vector>

#include "axp/common/byte_order.h"
#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/common/patch_container.h"
#include "axp/common/scrambled_io.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/work_file.h"

namespace AXP {
namespace {

const char kBadVersion[] = "Version=%s(32 bytes or more, or not usable in a file name)";
const char kNotSealed[] = "File=%s(not a sealed package)";
const char kMarkerCount[] = "File=%s(%zu container start records, expected 1)";
const char kAlreadySet[] = "File=%s(already carries a container)";
const char kTooLarge[] = "File=%s(too large)";
const char kOverwritesInput[] = "File=%s(would overwrite an input)";
constexpr uint32_t kCopyBlock = 64 * 1024;
// Offsets are kept as 32-bit values and reached with signed 32-bit seeks.
constexpr uint64_t kLargestStub = 0x7FFFFFFF;

// The marker field as it lies in the program file: the text and its zero
// padding.
std::string markerField() {
  std::string field(kContainerMarkerText, sizeof kContainerMarkerText - 1);
  field.resize(kMarkerFieldSize, '\0');
  return field;
}

// Finds every marker field in a stream of blocks, also those that straddle
// two blocks.
class MarkerScan {
 public:
  void feed(const char* bytes, uint32_t length) {
    window_.append(bytes, length);
    for (size_t at = window_.find(needle_); at != std::string::npos; at = window_.find(needle_, at + 1)) {
      found_.push_back(windowStart_ + at);
    }
    size_t keep = needle_.size() - 1;
    if (window_.size() > keep) {
      windowStart_ += window_.size() - keep;
      window_.erase(0, window_.size() - keep);
    }
  }
  const std::vector<uint64_t>& found() const { return found_; }

 private:
  std::string needle_ = markerField();
  std::string window_;
  uint64_t windowStart_ = 0;
  std::vector<uint64_t> found_;
};

bool openInput(platform::File* file, const std::string& path) {
  if (file->open(path, platform::Access::Read, platform::Disposition::ExistingOnly)) return true;
  reportError(OpenFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
  return false;
}

bool writeAll(platform::File& file, const std::string& path, const void* bytes, uint32_t length) {
  uint32_t done = 0;
  if (file.write(bytes, length, &done) && done == length) return true;
  reportError(WriteFailed, messages::kFileWriteError, path.c_str(), platform::lastSystemError());
  return false;
}

// Appends the rest of `source` to `target`, showing every block to `scan`
// when one is given.
bool appendFile(platform::File& source, const std::string& sourcePath, platform::File& target,
                const std::string& targetPath, MarkerScan* scan) {
  std::vector<char> block(kCopyBlock);
  for (;;) {
    uint32_t got = 0;
    if (!source.read(block.data(), kCopyBlock, &got)) {
      reportError(ReadFailed, messages::kFileReadError, sourcePath.c_str());
      return false;
    }
    if (got == 0) return true;
    if (scan != nullptr) scan->feed(block.data(), got);
    if (!writeAll(target, targetPath, block.data(), got)) return false;
  }
}

// Points the copy's start record, found at `marker`, at `start`. A record
// that is set already belongs to a patch program that carries a container.
bool seekTo(platform::File& file, const std::string& path, int32_t distance, platform::SeekFrom from) {
  if (file.seek(distance, from)) return true;
  reportError(SeekFailed, messages::kFileError, path.c_str(), platform::lastSystemError());
  return false;
}

bool setStartRecord(platform::File& out, const std::string& outPath, const std::string& stubPath, uint64_t marker,
                    uint32_t start) {
  const auto field = static_cast<int32_t>(marker + kMarkerFieldSize);
  uint8_t value[kStartFieldSize];
  uint32_t got = 0;
  if (!seekTo(out, outPath, field, platform::SeekFrom::Begin)) return false;
  if (!out.read(value, kStartFieldSize, &got) || got != kStartFieldSize) {
    reportError(ReadFailed, messages::kFileReadError, outPath.c_str());
    return false;
  }
  if (readLittleEndian32(value) != 0) {
    reportError(BadArgument, kAlreadySet, stubPath.c_str());
    return false;
  }
  writeLittleEndian32(value, start);
  return seekTo(out, outPath, field, platform::SeekFrom::Begin) && writeAll(out, outPath, value, kStartFieldSize) &&
         seekTo(out, outPath, 0, platform::SeekFrom::End);
}

bool writeVersionText(platform::File& out, const std::string& outPath, const std::string& text) {
  uint8_t length[kVersionLengthSize];
  writeLittleEndian32(length, static_cast<uint32_t>(text.size()));
  return writeAll(out, outPath, length, kVersionLengthSize) &&
         writeAll(out, outPath, text.data(), static_cast<uint32_t>(text.size()));
}

bool checkInputs(const std::string& stubPath, const std::string& fromVersion, const std::string& toVersion,
                 const std::string& packagePath, const std::string& outPath) {
  for (const std::string* version : {&fromVersion, &toVersion}) {
    if (!isStorableVersionText(*version)) {
      reportError(BadArgument, kBadVersion, version->c_str());
      return false;
    }
  }
  if (platform::sameFile(outPath, stubPath) || platform::sameFile(outPath, packagePath)) {
    reportError(BadArgument, kOverwritesInput, outPath.c_str());
    return false;
  }
  return true;
}

// A package that is not scrambled and sealed would be no package to the
// patch program. The package is known to open when this is asked.
bool checkSealedPackage(const std::string& packagePath) {
  if (isScrambledZip(packagePath) && checkChecksumTrailer(packagePath)) return true;
  reportError(BadArgument, kNotSealed, packagePath.c_str());
  return false;
}

bool writeProgram(platform::File& stub, const std::string& stubPath, const std::string& fromVersion,
                  const std::string& toVersion, platform::File& package, const std::string& packagePath,
                  platform::File& out, const std::string& outPath) {
  MarkerScan scan;
  if (!appendFile(stub, stubPath, out, outPath, &scan)) return false;
  int64_t stubLength = out.tell();
  if (stubLength < 0 || static_cast<uint64_t>(stubLength) > kLargestStub) {
    reportError(BadArgument, kTooLarge, stubPath.c_str());
    return false;
  }
  if (scan.found().size() != 1) {
    reportError(BadData, kMarkerCount, stubPath.c_str(), scan.found().size());
    return false;
  }
  return setStartRecord(out, outPath, stubPath, scan.found().front(), static_cast<uint32_t>(stubLength)) &&
         writeVersionText(out, outPath, fromVersion) && writeVersionText(out, outPath, toVersion) &&
         appendFile(package, packagePath, out, outPath, nullptr);
}

bool markExecutable(const std::string& path) {
  if (platform::makeExecutable(path)) return true;
  reportError(WriteFailed, messages::kFileWriteError, path.c_str(), platform::lastSystemError());
  return false;
}

}  // namespace

bool writePatchProgram(const std::string& stubPath, const std::string& fromVersion, const std::string& toVersion,
                       const std::string& packagePath, const std::string& outPath) {
  if (!checkInputs(stubPath, fromVersion, toVersion, packagePath, outPath)) return false;
  platform::File stub;
  platform::File package;
  if (!openInput(&stub, stubPath) || !openInput(&package, packagePath) || !checkSealedPackage(packagePath)) {
    return false;
  }
  // A patch program cut short would fail on the players' machines: it is
  // written beside its place and moved there once whole, so a failure or a
  // kill leaves whatever was there before.
  platform::WorkFile out;
  if (!out.create(outPath)) {
    reportError(OpenFailed, messages::kFileError, outPath.c_str(), platform::lastSystemError());
    return false;
  }
  if (!writeProgram(stub, stubPath, fromVersion, toVersion, package, packagePath, out.file(), outPath)) return false;
  if (!out.commit()) {
    reportError(WriteFailed, messages::kFileWriteError, outPath.c_str(), platform::lastSystemError());
    return false;
  }
  return markExecutable(outPath);
}

}  // namespace AXP
