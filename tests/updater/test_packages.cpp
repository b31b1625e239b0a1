#include "test_packages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "axp/common/error_record.h"
#include "axp/common/package_seal.h"
#include "axp/patchmaker/package_writer.h"
#include "axp/patchmaker/zip_writer.h"
#include "platform/file.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace updater_testing {

bool writePackage(const std::string& path, const std::vector<PackageEntry>& entries) {
  return AXP::writePackageFile(path, entries, false);
}

std::string streamedPackage(const std::vector<PackageEntry>& entries) {
  int ends[2];
  if (!testing_support::makePipe(ends)) return {};
  platform::File readEnd = platform::File::adopt(ends[0]);
  platform::File writeEnd = platform::File::adopt(ends[1]);
  AXP::ArchiveHandle* archive = AXP::createArchive(&writeEnd, 0, AXP::kTargetHandle);
  // The writer writes to its own duplicate of the write end.
  writeEnd.close();
  if (archive == nullptr) return {};
  // The writer takes no empty memory block: empty entries come from an
  // empty file.
  testing_support::TempDir folder;
  const std::string emptyFile = folder.file("empty");
  testing_support::writeFile(emptyFile, "");
  bool added = true;
  for (const PackageEntry& entry : entries) {
    const bool empty = entry.data.empty();
    added = added && AXP::addToArchive(archive, entry.name.c_str(), empty ? emptyFile.c_str() : entry.data.data(),
                                       static_cast<uint32_t>(entry.data.size()),
                                       empty ? AXP::kSourcePath : AXP::kSourceMemory,
                                       entry.method) == AXP::kZipSuccess;
  }
  if (AXP::closeArchive(archive) != AXP::kZipSuccess || !added) return {};
  std::string bytes;
  char piece[4096];
  uint32_t got = 0;
  while (readEnd.read(piece, sizeof piece, &got) && got > 0) bytes.append(piece, got);
  return bytes;
}

bool sealPackage(const std::string& path) { return AXP::copyAndSealPackage(path, path); }

std::string lzmaPacked(const std::string& data) {
  std::string entry;
  return AXP::packEntry(data, &entry) ? entry : std::string();
}

UpdaterHandle openedPatch(const std::string& path, const std::string& commands, std::vector<PackageEntry> entries,
                          bool maintainLists) {
  for (PackageEntry& entry : entries) entry.data = lzmaPacked(entry.data);
  entries.insert(entries.begin(), {"(command)", lzmaPacked(commands)});
  UpdaterHandle updater(AXP::createUpdater());
  updater->setListMaintenance(maintainLists);
  EXPECT_TRUE(writePackage(path, entries) && sealPackage(path));
  EXPECT_TRUE(updater->openPackage(path.c_str())) << AXP::getLastErrorMessage();
  return updater;
}

bool makePack(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  PackHandle pack(axpCreatePakFile());
  if (!pack || !pack->create(path.c_str())) return false;
  pack->setListTracking(1);
  for (const auto& [name, data] : files) {
    if (!pack->insertContents(data.data(), static_cast<uint32_t>(data.size()), name.c_str(), true, true)) {
      return false;
    }
  }
  return pack->saveList();
}

std::string packedFile(AXP::IPakFile* pack, const std::string& name) {
  AXP::IStream* stream = pack->openFile(name.c_str());
  if (stream == nullptr) return "<absent>";
  std::string bytes(stream->size(), '\0');
  bytes.resize(stream->read(bytes.data(), static_cast<uint32_t>(bytes.size())));
  stream->close();
  return bytes;
}

bool havePython() { return std::system("python3 -c pass >/dev/null 2>&1") == 0; }

bool runPython(const std::string& script) {
  testing_support::TempDir folder;
  std::string scriptPath = folder.file("script.py");
  testing_support::writeFile(scriptPath, script);
  return std::system(("python3 " + scriptPath + " >/dev/null 2>&1").c_str()) == 0;
}

std::string sampleBytes(size_t count, unsigned seed, bool compressible) {
  std::mt19937 generator(seed);
  std::string bytes;
  bytes.reserve(count);
  while (bytes.size() < count) {
    if (compressible && generator() % 4 == 0) {
      bytes.append(std::min<size_t>(count - bytes.size(), generator() % 64), 'a' + generator() % 3);
    } else {
      bytes.push_back(static_cast<char>(generator()));
    }
  }
  return bytes;
}

}  // namespace updater_testing
