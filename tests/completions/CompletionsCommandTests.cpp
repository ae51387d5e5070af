// The completions command as the program runs it. Install and uninstall are
// covered with a temporary home in InstallationTests; here nothing touches
// the home directory.

#include <gtest/gtest.h>

#include <string>

#include "ShellRunner.h"

namespace kestrune::testing {
namespace {

CommandResult program(const std::string& arguments) {
  return runCommand(shellQuoted(KESTRUNE_BINARY) + " " + arguments);
}

TEST(CompletionsCommandTest, GroupAloneShowsItsHelp) {
  CommandResult result = program("completions");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output,
            "OVERVIEW: Generate shell completion scripts\n"
            "\n"
            "Generate autocompletion scripts for zsh or fish.\n"
            "\n"
            "Examples:\n"
            "  kestrune completions zsh\n"
            "  kestrune completions zsh install\n"
            "  kestrune completions zsh uninstall\n"
            "  kestrune completions fish\n"
            "  kestrune completions fish install\n"
            "  kestrune completions fish uninstall\n"
            "\n"
            "USAGE: kestrune completions <subcommand>\n"
            "\n"
            "OPTIONS:\n"
            "  --version               Show the version.\n"
            "  -h, --help              Show help information.\n"
            "\n"
            "SUBCOMMANDS:\n"
            "  zsh                     Generate or manage zsh completions\n"
            "  fish                    Generate or manage fish completions\n"
            "\n"
            "  See 'kestrune help completions <subcommand>' for detailed help.\n");
}

TEST(CompletionsCommandTest, ShellGroupsGenerateByDefault) {
  for (std::string shell : {"zsh", "fish"}) {
    SCOPED_TRACE(shell);
    CommandResult generated = program("completions " + shell + " generate");
    EXPECT_EQ(generated.status, 0);
    EXPECT_EQ(program("completions " + shell).output, generated.output);
    // The script followed by one line feed, as the hidden option prints it.
    EXPECT_EQ(program("--generate-completion-script " + shell).output, generated.output);
  }
  EXPECT_EQ(program("completions zsh").output.rfind("#compdef kestrune\n", 0), 0u);
}

TEST(CompletionsCommandTest, ShellGroupHelpNamesTheDefault) {
  CommandResult result = program("completions fish --help");
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.output.find("  generate (default)      Print the fish completion script\n"
                               "  install                 Install the fish completion script\n"
                               "  uninstall               Uninstall fish completions\n"),
            std::string::npos)
      << result.output;
}

TEST(CompletionsCommandTest, TakesNoGlobalOptions) {
  CommandResult result = program("completions zsh install --json 2>&1 >/dev/null");
  EXPECT_EQ(result.status, 64);
  EXPECT_EQ(result.output,
            "Error: Unknown option '--json'\n"
            "Usage: kestrune completions zsh install\n"
            "  See 'kestrune completions zsh install --help' for more information.\n");
}

}  // namespace
}  // namespace kestrune::testing
