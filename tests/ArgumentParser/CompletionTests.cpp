#include "ArgumentParser/Completion.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "ArgumentParser/ArgumentParser.h"
#include "TestCommands.h"

namespace argparse {
namespace {

const std::string kRootUsage =
    "Usage: tool <subcommand>\n"
    "  See 'tool --help' for more information.\n";

class CompletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("COLUMNS", "80", 1);
    ::setenv("LINES", "25", 1);
    ::unsetenv("SAP_SHELL");
    ::unsetenv("SAP_SHELL_VERSION");
  }
  void TearDown() override { ::unsetenv("SHELL"); }
};

TEST_F(CompletionTest, ShellComesFromTheLastComponentOfShell) {
  ::setenv("SHELL", "/usr/local/bin/zsh", 1);
  EXPECT_EQ(autodetectedShell(), CompletionShell::zsh);
  ::setenv("SHELL", "fish", 1);
  EXPECT_EQ(autodetectedShell(), CompletionShell::fish);
  ::setenv("SHELL", "/bin/tcsh", 1);
  EXPECT_EQ(autodetectedShell(), std::nullopt);
  ::unsetenv("SHELL");
  EXPECT_EQ(autodetectedShell(), std::nullopt);
}

TEST_F(CompletionTest, GeneratedScriptMatchesTheRootScript) {
  const std::string script = completionScript<testtool::Tool>(CompletionShell::fish);
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"--generate-completion-script", "fish"}, {"--generate-completion-script=fish"}}) {
    Outcome outcome = execute<testtool::Tool>(arguments);
    EXPECT_EQ(outcome.out, script + "\n");
    EXPECT_EQ(outcome.status, 0);
  }
  ::setenv("SHELL", "/bin/fish", 1);
  EXPECT_EQ(execute<testtool::Tool>({"--generate-completion-script"}).out, script + "\n");
  EXPECT_EQ(currentCompletionShell(), std::nullopt);  // only while generating
}

TEST_F(CompletionTest, UnsupportedShellsAreUsageErrors) {
  Outcome named = execute<testtool::Tool>({"--generate-completion-script", "tcsh"});
  EXPECT_EQ(named.err,
            "Error: Can't generate completion scripts for 'tcsh'.\n"
            "Please use --generate-completion-script=<shell> with one of:\n"
            "    zsh bash fish\n" +
                kRootUsage);
  EXPECT_EQ(named.status, 64);
  ::setenv("SHELL", "/bin/tcsh", 1);
  Outcome detected = execute<testtool::Tool>({"--generate-completion-script"});
  EXPECT_EQ(detected.err,
            "Error: Can't autodetect a supported shell.\n"
            "Please use --generate-completion-script=<shell> with one of:\n"
            "    zsh bash fish\n" +
                kRootUsage);
  EXPECT_EQ(detected.status, 64);
}

TEST_F(CompletionTest, CustomCompletionCallbackPrintsTheCandidates) {
  Outcome outcome = execute<testtool::Tool>(
      {"---completion", "files", "--", "--profile", "2", "1", "tool", "files", "--profile", "b"});
  EXPECT_EQ(outcome.out, "alpha\nbeta\n4:2:1\n");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.status, 0);
}

TEST_F(CompletionTest, CustomCompletionForNoArgumentPrintsNothing) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"---completion", "files", "--", "--nothing", "0", "0", "tool"},
           {"---completion", "nowhere", "--", "--profile", "0", "0", "tool"},
           {"---completion", "files", "--", "---"},
           {"---completion", "files", "--", "positional@0", "0", "0", "tool"}}) {
    Outcome outcome = execute<testtool::Tool>(arguments);
    EXPECT_EQ(outcome.out, "") << arguments[3];
    EXPECT_EQ(outcome.status, 0);
  }
}

// A completion that reports the shell it is serving.
struct ShellAware : ParsableCommand {
  static CommandConfiguration configuration() { return {.commandName = "aware"}; }
  Argument<std::optional<std::string>> word{
      this,
      "word",
      {.completion = CompletionKind::customDeprecated([](const std::vector<std::string>& words) {
         auto shell = currentCompletionShell();
         return std::vector<std::string>{shell ? std::string(rawValue(*shell)) : "none",
                                         currentCompletionShellVersion(),
                                         std::to_string(words.size())};
       })}};
};

TEST_F(CompletionTest, CallbackKnowsTheShellFromTheEnvironment) {
  ::setenv("SAP_SHELL", "bash", 1);
  ::setenv("SAP_SHELL_VERSION", "5.2.15", 1);
  EXPECT_EQ(execute<ShellAware>({"---completion", "--", "positional@0", "aware", "x"}).out,
            "bash\n5.2.15\n2\n");
  ::setenv("SAP_SHELL", "tcsh", 1);
  EXPECT_EQ(execute<ShellAware>({"---completion", "--", "positional@0", "aware"}).out,
            "none\n5.2.15\n1\n");
  EXPECT_EQ(currentCompletionShell(), std::nullopt);
}

}  // namespace
}  // namespace argparse
