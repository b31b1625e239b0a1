#include "pack_checks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <vector>

#include "axp/common/checksum.h"
#include "axp/common/error_record.h"
#include "axp/pack/pack_file.h"
#include "hardening_support.h"
#include "pack_inspection.h"
#include "package_builder.h"
#include "support/temp_dir.h"

namespace crash_testing {
namespace {

const std::vector<std::string> kLaterFiles = {"later/one.bin", "later/two.bin"};

struct Row {
  uint32_t size = 0;
  uint32_t checksum = 0;
};

// The rows of a list text (its first two lines are the summary and count).
std::map<std::string, Row> rowsOf(const std::string& list) {
  std::map<std::string, Row> rows;
  size_t start = 0;
  for (int line = 0; start < list.size(); ++line) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    const std::string text = list.substr(start, end - start);
    start = end + 1;
    const size_t bar = text.find('|');
    Row row;
    if (line >= 2 && bar != std::string::npos &&
        std::sscanf(text.c_str() + bar, "|%8X|%8X", &row.size, &row.checksum) == 2) {
      rows.emplace(text.substr(0, bar), row);
    }
  }
  return rows;
}

bool describedBy(const std::map<std::string, Row>& rows, const std::string& name, const std::string& bytes) {
  auto row = rows.find(name);
  return row != rows.end() && row->second.size == bytes.size() &&
         row->second.checksum == AXP::crcBuffer(bytes.data(), bytes.size());
}

std::string masterList(const EditScenario& scenario, const PackContents& contents) {
  std::string text = "master|0\n";
  for (const std::string& name : scenario.pool) {
    const std::string bytes = lookUp(contents, name).value_or("");
    text += name + "|" + std::to_string(bytes.size()) + "|" +
            std::to_string(AXP::crcBuffer(bytes.data(), bytes.size())) + "|game/" + kTestPackName + "\n";
  }
  return text;
}

}  // namespace

std::string describe(const std::optional<std::string>& bytes) {
  if (!bytes.has_value()) return "absent";
  char checksum[16];
  std::snprintf(checksum, sizeof checksum, "%08X", AXP::crcBuffer(bytes->data(), bytes->size()));
  return std::to_string(bytes->size()) + " bytes, checksum " + checksum;
}

std::string lastError() { return std::to_string(AXP::getLastErrorCode()) + " " + AXP::getLastErrorMessage(); }

std::optional<std::string> lookUp(const PackContents& contents, const std::string& name) {
  auto found = contents.find(name);
  return found == contents.end() ? std::nullopt : std::optional<std::string>(found->second);
}

void expectSound(const std::string& path, const char* when) {
  for (const std::string& fault : packFaults(path)) ADD_FAILURE() << when << ": " << fault;
}

void expectContents(const std::optional<std::string>& now, const std::optional<std::string>& expected,
                    const std::string& name, const char* when) {
  EXPECT_TRUE(now == expected) << name << " " << when << " reads as " << describe(now) << ", not "
                               << describe(expected);
}

void insertLaterFiles(const EditScenario& scenario, const std::string& path, const char* when) {
  std::map<std::string, std::optional<std::string>> kept;
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false)) << lastError();
    for (const std::string& name : scenario.pool) kept[name] = readPacked(&pack, name);
    for (size_t i = 0; i < kLaterFiles.size(); ++i) {
      const std::string bytes = sampleBytes(i == 0 ? 70000 : 300, i);
      ASSERT_TRUE(pack.insertContents(bytes.data(), static_cast<uint32_t>(bytes.size()), kLaterFiles[i].c_str(),
                                      true, true))
          << lastError();
      kept[kLaterFiles[i]] = bytes;
    }
  }
  expectSound(path, when);
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true)) << lastError();
  for (const auto& [name, bytes] : kept) expectContents(readPacked(&pack, name), bytes, name, when);
}

void checkRepair(const EditScenario& scenario, const PackContents& contents, const std::string& path,
                 const std::string& masterPath) {
  std::map<std::string, std::optional<std::string>> before;
  std::map<std::string, Row> rows;
  bool listMissing = false;
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false)) << lastError();
    for (const std::string& name : scenario.pool) before[name] = readPacked(&pack, name);
    const std::optional<std::string> list = readPacked(&pack, AXP::kListFileName);
    listMissing = !list.has_value();
    rows = rowsOf(list.value_or(""));
  }
  testing_support::writeFile(masterPath, masterList(scenario, contents));
  {
    AXP::PackFile pack;
    ASSERT_TRUE(pack.open(path.c_str(), false)) << lastError();
    EXPECT_TRUE(pack.repairFromList(masterPath.c_str())) << lastError();
  }
  expectSound(path, "after the repair");
  AXP::PackFile pack;
  ASSERT_TRUE(pack.open(path.c_str(), true)) << lastError();
  for (const std::string& name : kLaterFiles) expectContents(readPacked(&pack, name), std::nullopt, name, "unlisted");
  bool anyKept = false;
  for (const std::string& name : scenario.pool) {
    const bool kept = before[name].has_value() && (listMissing || describedBy(rows, name, *before[name]));
    expectContents(readPacked(&pack, name), kept ? before[name] : std::nullopt, name, "after the repair");
    anyKept = anyKept || kept;
  }
  // The list the repair leaves is sound, the empty list of a pack it
  // emptied too.
  EXPECT_TRUE(pack.checkIntegrity()) << lastError();
  if (!anyKept) expectContents(readPacked(&pack, AXP::kListFileName), listText({}), AXP::kListFileName, "emptied");
}

int failureCount() {
  const ::testing::TestResult* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
  int failures = 0;
  for (int i = 0; i < result->total_part_count(); ++i) failures += result->GetTestPartResult(i).failed() ? 1 : 0;
  return failures;
}

}  // namespace crash_testing
