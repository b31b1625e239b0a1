// Writes the seed corpora of the fuzz targets, each a handful of small,
// well-formed inputs made with the library itself (its ZIP writer, LZMA
// packer, scrambling, packs and list upkeep), so that the fuzzers start
// from inputs that reach deep into the code.
//
// Usage: axp_fuzz_seeds <folder>; the seeds go to <folder>/<target>/.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "axp/common/package_seal.h"
#include "axp/common/scrambled_io.h"
#include "axp/pack/pack_file.h"
#include "axp/patchmaker/package_writer.h"
#include "axp/updater/lzma_entry.h"
#include "fuzz/harness/sandbox.h"
#include "fuzz/harness/sparse_pack.h"

namespace {

using fuzzing::readFile;
using fuzzing::Sandbox;
using fuzzing::writeFile;

struct Entry {
  std::string name;
  std::string data;
  uint32_t method = AXP::kMethodStore;
};

std::string packed(const std::string& data) {
  std::string entry;
  return AXP::packEntry(data, &entry) ? entry : std::string();
}

std::string sampleBytes(size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes;
  while (bytes.size() < count) bytes.push_back(static_cast<char>(generator()));
  return bytes;
}

std::string u16(uint32_t value) { return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)}; }
std::string u32(uint32_t value) { return u16(value & 0xFFFF) + u16(value >> 16); }

// A ZIP archive of the entries, written with the builder's package writer.
std::string zipArchive(const Sandbox& scratch, const std::vector<Entry>& entries) {
  const std::string path = scratch.file("archive.zip");
  AXP::PackageWriter writer;
  if (!writer.create(path)) return {};
  for (const Entry& entry : entries) {
    writer.add(entry.name, entry.data.data(), static_cast<uint32_t>(entry.data.size()), entry.method);
  }
  writer.finish(false);
  return readFile(path).value_or("");
}

// The archive scrambled and sealed, as the builder ships packages.
std::string sealed(const Sandbox& scratch, const std::string& archive) {
  const std::string path = scratch.file("sealed.xzip");
  writeFile(path, archive);
  if (!AXP::copyAndSealPackage(path, path)) return {};
  return readFile(path).value_or("");
}

class SeedWriter {
 public:
  explicit SeedWriter(std::string folder) : folder_(std::move(folder)) {}

  void add(const std::string& target, const std::string& bytes) {
    const std::string path = folder_ + "/" + target + "/seed-" + std::to_string(++count_);
    if (!writeFile(path, bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      failed_ = true;
    }
  }
  bool failed() const { return failed_; }

 private:
  std::string folder_;
  int count_ = 0;
  bool failed_ = false;
};

void commandListSeeds(SeedWriter& seeds) {
  seeds.add("command_list", "0||readme.txt\n1||old.txt\n0|data/a.axp|x.txt\n1|data/a.axp|y.txt\n0||(version)\n");
  seeds.add("command_list",
            "0|Data\\Main.axp|(LIST)\r\n5||a.txt\r\nabc||b.txt\r\n0|a.axp|b|c\r\n0||data/main.axp\r\n5|a.axp|b");
  seeds.add("command_list", "0||../evil.txt\n0||sub/../ok.txt\n0|..\\p.axp|x\n0||C:\\x.txt\n0||/abs.txt\n1||.\n");
  seeds.add("command_list",
            "0||\x81\\a.txt\n0|\xB0\x5C.axp|\x81"
            "A\n1|\xB0/.AXP|z\n");
}

void lzmaSeeds(SeedWriter& seeds) {
  seeds.add("lzma_entry", packed(""));
  seeds.add("lzma_entry", packed("hello hello hello hello"));
  seeds.add("lzma_entry", packed(std::string(3000, 'a') + sampleBytes(200, 1) + std::string(800, 'b')));
  seeds.add("lzma_entry", packed(sampleBytes(700, 2)));
  seeds.add("lzma_entry", "LZMA" + std::string(37, 'x'));
}

// Entries of a package that updates the installation the package check
// lays out: a loose file, the pack data/a.axp and "(version)".
std::vector<Entry> updateEntries(const std::string& commands) {
  return {{"readme.txt", packed("new readme\r\n")},     {"data/a.axp/x.txt", packed("the packed file, changed")},
          {"data/a.axp/new.txt", "stored, not packed"}, {"(version)", packed("1.0.0.1|0\n")},
          {"Update.txt", "release notes\r\n"},          {"(command)", packed(commands)}};
}

constexpr char kUpdateCommands[] =
    "0||readme.txt\n1||gone.txt\n0|data/a.axp|x.txt\n0|data/a.axp|new.txt\n1|data/a.axp|none.txt\n"
    "0|data/a.axp|empty.txt\n0||(version)\n";

void packageSeeds(SeedWriter& seeds, const Sandbox& scratch) {
  const std::string archive = zipArchive(scratch, updateEntries(kUpdateCommands));
  seeds.add("package", archive);
  seeds.add("package", sealed(scratch, archive));
  const std::string deflated =
      zipArchive(scratch, {{"readme.txt", "deflated " + std::string(200, 'r'), AXP::kMethodDeflate},
                           {"(command)", "0||readme.txt\r\n1||data/a.axp\r\n0|data/a.axp|(list)\r\n"}});
  seeds.add("package", deflated);
  // The package reader reads plain archives; zziplib reads them alongside.
  seeds.add("package_reader", archive);
  seeds.add("package_reader", deflated);
  seeds.add("package_reader", zipArchive(scratch, {{"A.txt", "first"}, {"a.txt", "second"}, {"\x81" "a", "gbk"}}) +
                                  "appended block");
  seeds.add("package", sealed(scratch, zipArchive(scratch, {{"(command)", packed("0||sub\\dir\\f.txt\n5||a.txt\n")},
                                                            {"SUB/DIR/F.TXT", packed(sampleBytes(300, 3))}})));
}

// A pack of a few files with a saved (list), one file removed and one
// replaced by a smaller one, so that free and split blocks exist.
std::string samplePack(const Sandbox& scratch, bool damageList) {
  fuzzing::TempFolderRedirect redirect(scratch.file("tmp"));
  const std::string path = scratch.file("sample.axp");
  AXP::PackFile pack;
  pack.create(path.c_str());
  pack.setListTracking(1);
  const std::string config = "[game]\r\nname=qelt\r\n\r\nwidth=800\nheight=600\n";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"x.txt", "hello"}, {"Data\\Scene.AXP", sampleBytes(300, 4)}, {"data/config.ini", config},
      {"empty.txt", ""},  {"gone.bin", sampleBytes(600, 5)},        {"big.bin", sampleBytes(900, 6)}};
  for (const auto& [name, data] : files) {
    pack.insertContents(data.data(), static_cast<uint32_t>(data.size()), name.c_str(), true, true);
  }
  pack.removeContents("gone.bin", true);
  pack.insertContents("short", 5, "big.bin", true, true);
  pack.saveList();
  if (damageList) pack.insertContents("x.txt|00000005|00000000\n", 24, "x.txt", true, true);
  pack.close();
  return fuzzing::describePack(readFile(path).value_or(""));
}

std::string emptyPack(const Sandbox& scratch) {
  fuzzing::TempFolderRedirect redirect(scratch.file("tmp"));
  const std::string path = scratch.file("empty.axp");
  AXP::PackFile pack;
  pack.create(path.c_str());
  pack.saveList();
  pack.close();
  return fuzzing::describePack(readFile(path).value_or(""));
}

void packSeeds(SeedWriter& seeds, const Sandbox& scratch) {
  const std::string sample = samplePack(scratch, false);
  const std::string damaged = samplePack(scratch, true);
  seeds.add("pack_read", emptyPack(scratch));
  seeds.add("pack_read", sample);
  const std::string master =
      "version|4\nx.txt|00000005|00000000|data.axp\ndata/config.ini|0|0|Data\\data.axp\n"
      "Data\\Scene.AXP|0|0|data.axp\n(list)|0|0|data.axp\nother.txt|0|0|other.axp\n";
  seeds.add("pack_list", u16(static_cast<uint32_t>(master.size())) + master + sample);
  seeds.add("pack_list", u16(static_cast<uint32_t>(master.size())) + master + damaged);
  seeds.add("pack_list", u16(0) + emptyPack(scratch));
}

std::string twoCatalogues(const std::string& oldCatalogue, const std::string& newCatalogue) {
  return u16(static_cast<uint32_t>(oldCatalogue.size())) + oldCatalogue + newCatalogue;
}

void catalogueSeeds(SeedWriter& seeds) {
  const std::string oldCatalogue =
      "1.0.0.0|4\nreadme.txt|0000000A|12345678|\nData\\Old.axp|00000000|00000000|\n"
      "a.dds|00000100|9ABCDEF0|Data\\Old.axp\n(list)|00000020|0F0F0F0F|Data\\Old.axp\n";
  const std::string newCatalogue =
      "1.0.0.1|5\nreadme.txt|0000000B|87654321|\nb.dds|00000200|11111111|Data\\New.axp\n"
      "(list)|00000020|0F0F0F0F|Data\\New.axp\nc.txt|00000000|00000000|\nREADME.TXT|0000000B|87654321|\n";
  seeds.add("catalogue", twoCatalogues(oldCatalogue, newCatalogue));
  seeds.add("catalogue", twoCatalogues("2.0|1\r\nx|||\r\n", "2.1|1\r\nx|1|2|p.axp\r\n"));
  seeds.add("catalogue", twoCatalogues("1.0|0", "1.1|2\nx|00000001|00000001|\n"));
}

std::string container(const std::string& from, const std::string& to, const std::string& package) {
  return u32(static_cast<uint32_t>(from.size())) + from + u32(static_cast<uint32_t>(to.size())) + to + package;
}

void containerSeeds(SeedWriter& seeds, const Sandbox& scratch) {
  const std::string archive = zipArchive(scratch, {{"(command)", packed("0||a.txt\n")}, {"update.TXT", "notes\r\n"}});
  seeds.add("container", container("1.0", "1.0.1", sealed(scratch, archive)));
  seeds.add("container", container("", "2", archive));
  seeds.add("container", container("1.0", "1.1", sealed(scratch, zipArchive(scratch, {{"(command)", ""}}))));
}

void versionKeySeeds(SeedWriter& seeds) {
  for (const char* texts :
       {"1.2.3.4\n1.2", "1..2\n3", "1.2a.3\n 1.2.3.4.5", "-5.99999999999\n+7", "\n", "2.0\n1.9.9"}) {
    seeds.add("version_key", texts);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
    return 2;
  }
  Sandbox scratch;
  if (!scratch.ready()) return 1;
  SeedWriter seeds(argv[1]);
  commandListSeeds(seeds);
  lzmaSeeds(seeds);
  packageSeeds(seeds, scratch);
  packSeeds(seeds, scratch);
  catalogueSeeds(seeds);
  containerSeeds(seeds, scratch);
  versionKeySeeds(seeds);
  return seeds.failed() ? 1 : 0;
}
