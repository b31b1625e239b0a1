#include "package_samples.h"

#include "axp/common/scrambled_io.h"
#include "axp/patchmaker/patch_maker.h"

namespace package_samples {
namespace {

using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using updater_testing::PackageEntry;

constexpr size_t kEndSize = 22;
constexpr size_t kEndDirectoryOffset = 16;
constexpr size_t kEndCommentLength = 20;
constexpr size_t kCentralSize = 46;
constexpr size_t kCentralMethod = 10;
constexpr size_t kCentralCompressed = 20;
constexpr size_t kCentralNameLength = 28;
constexpr size_t kCentralLocal = 42;
constexpr size_t kLocalSize = 30;
constexpr size_t kLocalCompressed = 18;
constexpr size_t kLocalNameLength = 26;

uint16_t load16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
}

uint32_t load32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(load16(bytes, at)) | static_cast<uint32_t>(load16(bytes, at + 2)) << 16;
}

void store(std::string* bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

// The sum of the 16-bit lengths at `at`, `at` + 2, ... (`count` of them).
size_t lengths(const std::string& bytes, size_t at, int count) {
  size_t sum = 0;
  for (int i = 0; i < count; ++i) sum += load16(bytes, at + 2 * i);
  return sum;
}

}  // namespace

std::vector<PackageEntry> sampleEntries() {
  std::string text;
  for (int line = 0; line < 300; ++line) text += "line " + std::to_string(line % 17) + " of the notes\r\n";
  return {{"(command)", updater_testing::lzmaPacked("0||readme.txt\n0||Data/big.bin\n")},
          {"readme.txt", "stored text of the readme"},
          {"Update.txt", text, true},
          {"Data/big.bin", testing_support::randomBytes(3000, 5)},
          {"empty.txt", ""}};
}

std::string archiveOf(const TempDir& dir, const std::vector<PackageEntry>& entries) {
  const std::string path = dir.file("archive.zip");
  return updater_testing::writePackage(path, entries) ? readFile(path) : std::string();
}

std::string sampleArchive(const TempDir& dir) { return archiveOf(dir, sampleEntries()); }

std::string builtPackage(const TempDir& dir) {
  const std::string oldFolder = dir.file("old");
  const std::string newFolder = dir.file("new");
  writeFile(oldFolder + "/readme.txt", "old readme");
  writeFile(oldFolder + "/gone.txt", "gone");
  writeFile(newFolder + "/readme.txt", "new readme, longer");
  writeFile(newFolder + "/Data/big.bin", testing_support::randomBytes(5000, 6));
  writeFile(newFolder + "/empty.txt", "");
  const std::string package = dir.file("patch.xzip");
  AXP::PatchMaker* maker = AXP::createPatchMaker();
  const bool made = maker->addVersion(oldFolder.c_str(), "1.0") && maker->addVersion(newFolder.c_str(), "1.1") &&
                    maker->makePatch(oldFolder.c_str(), newFolder.c_str(), package.c_str(), {});
  AXP::destroyPatchMaker(maker);
  return made ? readFile(package) : std::string();
}

std::string toggled(const TempDir& dir, const std::string& bytes) {
  const std::string path = dir.file("toggled.bin");
  writeFile(path, bytes);
  return AXP::toggleScrambling(path, false) ? readFile(path) : std::string();
}

std::string withComment(const std::string& archive, const std::string& comment) {
  std::string bytes = archive;
  store(&bytes, bytes.size() - kEndSize + kEndCommentLength, static_cast<uint32_t>(comment.size()), 2);
  return bytes + comment;
}

bool ArchiveLayout::inStoredData(size_t at) const {
  for (size_t i = 0; i < dataBegin.size(); ++i) {
    if (!deflated[i] && at >= dataBegin[i] && at < dataEnd[i]) return true;
  }
  return false;
}

ArchiveLayout layoutOf(const std::string& archive) {
  ArchiveLayout layout;
  layout.endRecord = archive.rfind(std::string("PK\x05\x06", 4));
  for (size_t at = load32(archive, layout.endRecord + kEndDirectoryOffset); at < layout.endRecord;
       at += kCentralSize + lengths(archive, at + kCentralNameLength, 3)) {
    const size_t local = load32(archive, at + kCentralLocal);
    const size_t data = local + kLocalSize + lengths(archive, local + kLocalNameLength, 2);
    layout.central.push_back(at);
    layout.local.push_back(local);
    layout.dataBegin.push_back(data);
    layout.dataEnd.push_back(data + load32(archive, at + kCentralCompressed));
    layout.deflated.push_back(load16(archive, at + kCentralMethod) != 0);
  }
  return layout;
}

void claimSize(std::string* archive, const ArchiveLayout& layout, size_t index, bool compressed, uint32_t size) {
  const size_t field = compressed ? 0 : 4;
  store(archive, layout.central[index] + kCentralCompressed + field, size, 4);
  store(archive, layout.local[index] + kLocalCompressed + field, size, 4);
}

}  // namespace package_samples
