#include "cli/arguments.h"

#include <gtest/gtest.h>

namespace {

using cli::Option;
using cli::ParsedArguments;
using cli::parseArguments;

const std::vector<Option> kOptions = {
    {"verbose", 'v', false, false, "", "say more"},
    {"out", 'o', true, false, "DIR", "where to write"},
    {"include", '\0', true, true, "NAME", "take this name"},
};

bool parse(const std::vector<std::string>& arguments, ParsedArguments* parsed, std::string* error) {
  return parseArguments(kOptions, arguments, parsed, error);
}

TEST(CliArguments, MixesPositionalsFlagsAndBothValueForms) {
  ParsedArguments parsed;
  std::string error;
  ASSERT_TRUE(parse({"first", "--out", "a dir", "-v", "second", "--include=x=y", "--include", "",
                     "-", "--", "--verbose", "-o"},
                    &parsed, &error))
      << error;
  EXPECT_EQ(parsed.positionals(), (std::vector<std::string>{"first", "second", "-", "--verbose", "-o"}));
  EXPECT_TRUE(parsed.has("verbose"));
  EXPECT_EQ(parsed.value("out"), "a dir");
  EXPECT_EQ(parsed.values("include"), (std::vector<std::string>{"x=y", ""}));
  EXPECT_EQ(parsed.value("include"), "");
  EXPECT_FALSE(parsed.has("missing"));
  EXPECT_EQ(parsed.value("missing", "fallback"), "fallback");
  EXPECT_TRUE(parsed.values("missing").empty());
}

TEST(CliArguments, ValueMayLookLikeAnOptionAndBytesStayAsGiven) {
  ParsedArguments parsed;
  std::string error;
  std::string gbkName = "data\\\xB5\x5C.txt";  // a double-byte character ending in 0x5C
  ASSERT_TRUE(parse({"-o", "--verbose", gbkName}, &parsed, &error)) << error;
  EXPECT_EQ(parsed.value("out"), "--verbose");
  EXPECT_FALSE(parsed.has("verbose"));
  EXPECT_EQ(parsed.positionals(), std::vector<std::string>{gbkName});
}

TEST(CliArguments, RejectsMalformedOptionsWithAReason) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  };
  const Case cases[] = {
      {{"--nope"}, "unknown option '--nope'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--nope=1"}, "unknown option '--nope=1'"},
      {{"file", "--out"}, "option '--out' needs a value"},
      {{"--verbose=yes"}, "option '--verbose' takes no value"},
      {{"--out", "a", "-o", "b"}, "option '--out' given more than once"},
      {{"-v", "--verbose"}, "option '--verbose' given more than once"},
  };
  for (const Case& c : cases) {
    ParsedArguments parsed;
    std::string error;
    EXPECT_FALSE(parse(c.arguments, &parsed, &error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

TEST(CliArguments, RequiredOptionMustBeGivenEvenWhenEmpty) {
  const std::vector<Option> options = {{"to", '\0', true, false, "V", "target", true}};
  ParsedArguments parsed;
  std::string error;
  EXPECT_FALSE(parseArguments(options, {"file"}, &parsed, &error));
  EXPECT_EQ(error, "missing option '--to'");
  // An empty value is a value: the option was given.
  ASSERT_TRUE(parseArguments(options, {"--to=", "file"}, &parsed, &error)) << error;
  EXPECT_TRUE(parsed.has("to"));
  EXPECT_EQ(parsed.value("to", "fallback"), "");
  EXPECT_EQ(cli::formatOptionsHelp(options), "options:\n      --to V          target (required)\n");
}

TEST(CliArguments, ParsingAgainStartsFromNothing) {
  ParsedArguments parsed;
  std::string error;
  ASSERT_TRUE(parse({"one", "-v"}, &parsed, &error));
  ASSERT_TRUE(parse({"two"}, &parsed, &error));
  EXPECT_EQ(parsed.positionals(), std::vector<std::string>{"two"});
  EXPECT_FALSE(parsed.has("verbose"));
}

TEST(CliArguments, OptionsHelpAlignsDescriptions) {
  EXPECT_EQ(cli::formatOptionsHelp({}), "");
  std::string help = cli::formatOptionsHelp(kOptions);
  EXPECT_EQ(help,
            "options:\n"
            "  -v, --verbose       say more\n"
            "  -o, --out DIR       where to write\n"
            "      --include NAME  take this name (may be repeated)\n");
}

}  // namespace
