#include "test_packages.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "axp/common/package_seal.h"
#include "axp/patchmaker/package_writer.h"
#include "support/temp_dir.h"

namespace updater_testing {

bool writePackage(const std::string& path, const std::vector<PackageEntry>& entries) {
  return AXP::writePackageFile(path, entries, false);
}

bool sealPackage(const std::string& path) { return AXP::copyAndSealPackage(path, path); }

std::string lzmaPacked(const std::string& data) {
  std::string entry;
  return AXP::packEntry(data, &entry) ? entry : std::string();
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
