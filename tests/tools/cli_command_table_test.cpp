#include "cli/command_table.h"

#include <gtest/gtest.h>

#include "axp/common/error_record.h"
#include "cli/error_report.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class CliCommandTable : public testing::Test {
 protected:
  CliCommandTable() {
    cli::Command copy{"copy",
                      "FROM TO [--force]",
                      "copy one thing",
                      {{"force", 'f', false, false, "", "replace the target"}},
                      2,
                      2,
                      [this](const cli::ParsedArguments& arguments) {
                        ++runs_;
                        seen_ = arguments.positionals();
                        forced_ = arguments.has("force");
                        return true;
                      }};
    cli::Command fail{"fail", "", "always fails", {}, 0, 0, [](const cli::ParsedArguments&) {
                        AXP::reportError(AXP::NotFound, "%s", "thing");
                        return false;
                      }};
    cli::Command explained{"explained", "", "fails and says why", {}, 0, 0, [](const cli::ParsedArguments&) {
                             AXP::reportError(AXP::NotFound, "%s", "thing");
                             return cli::explain("the thing is not there");
                           }};
    cli::Command count{"count", "FILE...", "count things", {}, 1, 3, [this](const cli::ParsedArguments& arguments) {
                         ++runs_;
                         seen_ = arguments.positionals();
                         return true;
                       }};
    program_ = {"tool", "A tool for tests.", {{"things", "Commands on things.", {copy, fail, explained}}}, {count}, ""};
  }

  Outcome run(const std::vector<std::string>& arguments) {
    CaptureStdout();
    CaptureStderr();
    int status = cli::runProgram(program_, arguments);
    std::string out = GetCapturedStdout();
    return {status, out, GetCapturedStderr()};
  }

  cli::Program program_;
  int runs_ = 0;
  std::vector<std::string> seen_;
  bool forced_ = false;
};

TEST_F(CliCommandTable, RunsTheNamedCommandWithItsArguments) {
  Outcome outcome = run({"things", "copy", "-f", "a", "b"});
  EXPECT_EQ(outcome.status, cli::kExitSuccess);
  EXPECT_EQ(outcome.out + outcome.err, "");
  EXPECT_EQ(runs_, 1);
  EXPECT_EQ(seen_, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(forced_);
}

TEST_F(CliCommandTable, TopLevelCommandRunsWithoutAGroup) {
  Outcome outcome = run({"count", "x", "y"});
  EXPECT_EQ(outcome.status, cli::kExitSuccess);
  EXPECT_EQ(outcome.out + outcome.err, "");
  EXPECT_EQ(seen_, (std::vector<std::string>{"x", "y"}));

  Outcome help = run({"count", "--help"});
  EXPECT_EQ(help.status, cli::kExitSuccess);
  EXPECT_EQ(help.out, "usage: tool count FILE...\n\ncount things\n");
  EXPECT_EQ(runs_, 1);
}

TEST_F(CliCommandTable, VersionIsShownWhenTheProgramHasOne) {
  EXPECT_EQ(run({"--version"}).status, cli::kExitUsage);
  program_.version = "1.2.3";
  Outcome shown = run({"--version"});
  EXPECT_EQ(shown.status, cli::kExitSuccess);
  EXPECT_EQ(shown.out, "tool 1.2.3\n");
  EXPECT_NE(run({"--help"}).out.find("   or: tool --version\n"), std::string::npos);
}

TEST_F(CliCommandTable, HelpOfAProgramWithoutOwnCommandsNamesOnlyGroups) {
  program_.commands.clear();
  Outcome top = run({"-h"});
  EXPECT_EQ(top.status, cli::kExitSuccess);
  EXPECT_EQ(top.out.rfind("usage: tool <group> <command> [arguments]\n\n", 0), 0u) << top.out;
  EXPECT_EQ(top.out.find("commands:"), std::string::npos) << top.out;
  EXPECT_EQ(top.out.find("<command> --help' for the options"), std::string::npos) << top.out;
}

TEST_F(CliCommandTable, FailurePrintsTheErrorRecord) {
  Outcome outcome = run({"things", "fail"});
  EXPECT_EQ(outcome.status, cli::kExitFailure);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "tool: error: a file or name was not found (code 1, thing)\n");
  // A command's own words come first; they do not outlive its run.
  EXPECT_EQ(run({"things", "explained"}).err, "tool: error: the thing is not there (code 1, thing)\n");
  EXPECT_EQ(run({"things", "fail"}).err, outcome.err);
}

TEST_F(CliCommandTable, HelpAtEveryLevelRunsNothing) {
  Outcome top = run({"--help"});
  EXPECT_EQ(top.status, cli::kExitSuccess);
  EXPECT_EQ(top.out,
            "usage: tool <command> [arguments]\n"
            "   or: tool <group> <command> [arguments]\n\n"
            "A tool for tests.\n\n"
            "commands:\n"
            "  count FILE...  count things\n\n"
            "command groups:\n"
            "  things      Commands on things.\n\n"
            "Run 'tool <command> --help' for the options of a command.\n"
            "Run 'tool <group> --help' for the commands of a group.\n");

  Outcome group = run({"things", "-h"});
  EXPECT_EQ(group.status, cli::kExitSuccess);
  EXPECT_NE(group.out.find("  copy FROM TO [--force]  copy one thing\n"), std::string::npos) << group.out;
  EXPECT_NE(group.out.find("  fail"), std::string::npos) << group.out;

  // --help wins over arguments that would be wrong, but not after "--".
  Outcome command = run({"things", "copy", "--bogus", "--help"});
  EXPECT_EQ(command.status, cli::kExitSuccess);
  EXPECT_NE(command.out.find("usage: tool things copy FROM TO [--force]"), std::string::npos) << command.out;
  EXPECT_NE(command.out.find("-f, --force"), std::string::npos) << command.out;
  EXPECT_EQ(command.err, "");
  EXPECT_EQ(runs_, 0);

  Outcome literal = run({"things", "copy", "--", "--help", "x"});
  EXPECT_EQ(literal.status, cli::kExitSuccess);
  EXPECT_EQ(seen_, (std::vector<std::string>{"--help", "x"}));
}

TEST_F(CliCommandTable, WrongCommandLinesAreUsageErrors) {
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const std::string hint = "Try 'tool things copy --help' for more information.\n";
  const Case cases[] = {
      {{}, "tool: error: missing command\nTry 'tool --help' for more information.\n"},
      {{"stuff"}, "tool: error: unknown command 'stuff'\nTry 'tool --help' for more information.\n"},
      {{"count"}, "tool: error: too few arguments for 'tool count'\nTry 'tool count --help' for more information.\n"},
      {{"count", "1", "2", "3", "4"},
       "tool: error: too many arguments for 'tool count'\nTry 'tool count --help' for more information.\n"},
      {{"things"}, "tool: error: missing command after 'tool things'\n"
                   "Try 'tool things --help' for more information.\n"},
      {{"things", "move"}, "tool: error: unknown command 'move' in 'tool things'\n"
                           "Try 'tool things --help' for more information.\n"},
      {{"things", "copy", "a"}, "tool: error: too few arguments for 'tool things copy'\n" + hint},
      {{"things", "copy", "a", "b", "c"}, "tool: error: too many arguments for 'tool things copy'\n" + hint},
      {{"things", "copy", "a", "b", "--forse"}, "tool: error: unknown option '--forse'\n" + hint},
  };
  for (const Case& c : cases) {
    Outcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, cli::kExitUsage) << c.err;
    EXPECT_EQ(outcome.err, c.err);
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_EQ(runs_, 0);
}

}  // namespace
