#include "cli/glob_match.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fnmatch.h>
#endif

#include <string>
#include <vector>

namespace {

using cli::globMatches;

TEST(GlobMatch, StarsQuestionMarksAndSets) {
  EXPECT_TRUE(globMatches("data/*.axp", "DATA/Main.AXP"));
  EXPECT_TRUE(globMatches("*.dds", "data/main.axp/sky.dds")) << "a star crosses folders";
  EXPECT_TRUE(globMatches("*", ""));
  EXPECT_FALSE(globMatches("?", ""));
  EXPECT_TRUE(globMatches("a?c", "abc"));
  EXPECT_TRUE(globMatches("[a-c]x", "Bx"));
  EXPECT_FALSE(globMatches("[!a-c]x", "bx"));
  EXPECT_TRUE(globMatches("[]]", "]"));
  EXPECT_TRUE(globMatches("a\\*", "a\\b")) << "a backslash is no escape";
  EXPECT_FALSE(globMatches("a\\*", "a*"));
  EXPECT_TRUE(globMatches("[ab", "[ab")) << "an open set is plain text";
  EXPECT_TRUE(globMatches("*a*b*c", "xxaxxbxxbxc"));
  EXPECT_FALSE(globMatches("*a*b*c", "xxaxxbxxbx"));
  EXPECT_TRUE(globMatches("\xd6\xd0*", "\xd6\xd0\xce\xc4.txt")) << "double-byte names match byte for byte";
}

#ifndef _WIN32
// The C library's matcher with case folding, where there is one, is the
// reference.
TEST(GlobMatch, AgreesWithTheCLibrary) {
  const std::vector<std::string> patterns = {"*",      "a*",     "*b",    "a?c",  "[abc]*", "[!a]*",  "[a-]x",
                                             "\\*",   "[\\]*",   "*.TXT",  "d*/*",  "[]a]", "**a",    "?*?",    "[^b]c"};
  const std::vector<std::string> texts = {"",     "a",     "abc",   "b.txt", "d/e/f", "-x",  "ax",
                                          "[x",   "]",     "\\b",     "bc",    "cc",    "A.txt", "aa",  "Abc"};
  for (const std::string& pattern : patterns) {
    for (const std::string& text : texts) {
      EXPECT_EQ(globMatches(pattern, text), fnmatch(pattern.c_str(), text.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0)
          << pattern << " against " << text;
    }
  }
}
#endif

}  // namespace
