// Reading the container a patch program carries: the version range, then
// the package.
#include <string>

#include "axp/common/byte_order.h"
#include "axp/common/error_messages.h"
#include "axp/common/error_record.h"
#include "axp/common/patch_container.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/work_file.h"

namespace AXP {
namespace {

constexpr uint32_t kCopyBlock = 1024;
// Seeks take signed 32-bit distances.
constexpr uint32_t kLargestContainerStart = 0x7FFFFFFF;

bool readExactly(platform::File& file, void* buffer, uint32_t length) {
  uint32_t got = 0;
  return file.read(buffer, length, &got) && got == length;
}

// One length-prefixed version text. Lengths of 32 or more are refused before
// anything is read into `*text`.
bool readVersionText(platform::File& program, std::string* text) {
  uint8_t lengthField[kVersionLengthSize];
  if (!readExactly(program, lengthField, kVersionLengthSize)) return false;
  const uint32_t length = readLittleEndian32(lengthField);
  if (length >= kVersionLengthLimit) return false;
  std::string read(length, '\0');
  if (!readExactly(program, read.data(), length) || !isStorableVersionText(read)) return false;
  *text = read;
  return true;
}

}  // namespace

struct ContainerReader::ProgramFile {
  platform::File file;
};

ContainerReader::ContainerReader() : program_(std::make_unique<ProgramFile>()) {}

ContainerReader::~ContainerReader() = default;

bool ContainerReader::open(const std::string& programPath, uint32_t start) {
  programPath_ = programPath;
  platform::File& program = program_->file;
  if (!program.open(programPath, platform::Access::Read, platform::Disposition::ExistingOnly)) {
    reportError(OpenFailed, messages::kFileError, programPath.c_str(), platform::lastSystemError());
    return false;
  }
  if (start > kLargestContainerStart || !program.seek(static_cast<int32_t>(start), platform::SeekFrom::Begin)) {
    reportError(SeekFailed, messages::kFileError, programPath.c_str(), platform::lastSystemError());
    return false;
  }
  if (!readVersionText(program, &fromVersion_) || !readVersionText(program, &toVersion_)) {
    reportError(BadData, messages::kName, programPath.c_str());
    return false;
  }
  return true;
}

// The copy is written beside its place, created new (never through
// something already there), and moved into place once whole.
bool ContainerReader::copyPackage(const std::string& path) {
  platform::WorkFile copy;
  bool copied = copy.create(path);
  while (copied) {
    char block[kCopyBlock];
    uint32_t got = 0;
    uint32_t written = 0;
    copied = program_->file.read(block, kCopyBlock, &got);
    if (!copied || got == 0) break;
    copied = copy.file().write(block, got, &written) && written == got;
  }
  if (copied && copy.commit()) return true;
  reportError(WriteFailed, messages::kFileWriteError, path.c_str(), platform::lastSystemError());
  return false;
}

}  // namespace AXP
