// Two versions of a small installation, with loose files and packs, made
// with the axp program once per test suite: "old" (1.0.0, catalogued) and
// "new" (2.0.0), and the package between them. Tests patch copies of the
// old version and compare them with the new one file by file, packed files
// included.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/tool_expect.h"

namespace tool_testing {

// relative name -> bytes
using Tree = std::map<std::string, std::string>;
// pack path -> its files
using Packs = std::map<std::string, Tree>;

// Bytes that LZMA-pack to a small fraction of their size.
std::string patterned(size_t size, char seed);
std::vector<std::string> lines(const std::string& text);
std::vector<std::string> sorted(std::vector<std::string> items);
std::vector<std::string> without(std::vector<std::string> items, const std::set<std::string>& dropped);
// Names the files that differ rather than printing whole files.
testing::AssertionResult sameTree(const Tree& actual, const Tree& expected);

extern const char kOldVersion[];
extern const char kNewVersion[];
extern const Tree kOldLoose;
extern const Tree kNewLoose;
Packs oldPacks();
Packs newPacks();
// The package from 1.0.0 to 2.0.0 in the order an apply carries it out:
// whole packs, then the pack's removals and insertions, then loose files
// with "(version)" last. Names are as the catalogues and lists spell them.
extern const std::vector<std::string> kApplyOrder;

class WorkflowFixture : public testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static std::string path(const std::string& name) { return root_->file(name); }
  static std::string package() { return path("1-to-2.pkg"); }
  static ToolResult axp(const std::vector<std::string>& arguments) { return runTool(arguments, root_->path()); }
  static std::string succeed(const std::vector<std::string>& arguments) {
    return tool_testing::succeed(arguments, root_->path());
  }

  // Loose files are written as they are; each pack is built with "axp pack
  // build" from a folder holding its files.
  static void makeVersion(const std::string& name, const Tree& loose, const Packs& packs);
  // Every loose file's bytes under its relative name; for a pack the rows
  // of its (list) under "<pack>|rows" and every listed file's bytes under
  // "<pack>/<name>".
  static Tree snapshot(const std::string& folder);
  static std::string copyOfOld(const std::string& name);

  static testing_support::TempDir* root_;
};

}  // namespace tool_testing
