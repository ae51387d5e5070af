// Help screens and usage errors of the real command tree, as the kestrune
// program prints them at 80 columns.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Subprocess.h"

namespace kestrune {
namespace {

using testing::ProcessResult;

ProcessResult kestrune(const std::vector<std::string>& arguments) {
  return testing::runProcess(KESTRUNE_BINARY, arguments, {"COLUMNS=80", "LINES=25"});
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words) {
    text += (text.empty() ? "" : " ") + word;
  }
  return text;
}

void expectHelp(const std::vector<std::string>& arguments, const std::string& help) {
  const ProcessResult result = kestrune(arguments);
  EXPECT_EQ(result.out, help) << joined(arguments);
  EXPECT_EQ(result.err, "") << joined(arguments);
  EXPECT_EQ(result.status, 0) << joined(arguments);
}

const std::string kRootHelp =
    "OVERVIEW: Control Kestrune from the command line\n"
    "\n"
    "USAGE: kestrune <subcommand>\n"
    "\n"
    "OPTIONS:\n"
    "  --version               Show the version.\n"
    "  -h, --help              Show help information.\n"
    "\n"
    "SUBCOMMANDS:\n"
    "  volume                  Get or set system output volume\n"
    "  mute                    Get or set microphone mute state\n"
    "  silent-mode             Get or toggle silent mode\n"
    "  device                  Manage audio devices\n"
    "  app                     Per-app audio control\n"
    "  profile                 Manage audio routing profiles\n"
    "  media                   Control media playback\n"
    "  bluetooth               Bluetooth audio device info\n"
    "  panel                   Control Kestrune menu panel\n"
    "  status                  Show Kestrune status\n"
    "  version                 Show Kestrune version\n"
    "  completions             Generate shell completion scripts\n"
    "\n"
    "  See 'kestrune help <subcommand>' for detailed help.\n";

TEST(HelpTest, RootHelpListsTheCommandsInOrder) {
  expectHelp({}, kRootHelp);
  expectHelp({"--help"}, kRootHelp);
  expectHelp({"-h"}, kRootHelp);
  expectHelp({"help"}, kRootHelp);
}

TEST(HelpTest, GroupHelpMarksTheDefaultSubcommand) {
  expectHelp({"volume", "--help"},
             "OVERVIEW: Get or set system output volume\n"
             "\n"
             "USAGE: kestrune volume <subcommand>\n"
             "\n"
             "OPTIONS:\n"
             "  --version               Show the version.\n"
             "  -h, --help              Show help information.\n"
             "\n"
             "SUBCOMMANDS:\n"
             "  get (default)           Get current volume\n"
             "  set                     Set volume (0-100)\n"
             "  up                      Increase volume one step\n"
             "  down                    Decrease volume one step\n"
             "\n"
             "  See 'kestrune help volume <subcommand>' for detailed help.\n");
}

TEST(HelpTest, GroupsWithoutADefaultPrintTheirHelp) {
  const std::string deviceHelp =
      "OVERVIEW: Manage audio devices\n"
      "\n"
      "USAGE: kestrune device <subcommand>\n"
      "\n"
      "OPTIONS:\n"
      "  --version               Show the version.\n"
      "  -h, --help              Show help information.\n"
      "\n"
      "SUBCOMMANDS:\n"
      "  list                    List available audio devices\n"
      "  current                 Show current default device\n"
      "  set                     Set default device by UID\n"
      "  cycle                   Cycle to next priority device\n"
      "\n"
      "  See 'kestrune help device <subcommand>' for detailed help.\n";
  expectHelp({"device"}, deviceHelp);
  expectHelp({"help", "device"}, deviceHelp);
  for (const auto& group : std::vector<std::vector<std::string>>{
           {"app"}, {"app", "eq"}, {"app", "device"}, {"media"}, {"profile"}, {"completions"}}) {
    const ProcessResult result = kestrune(group);
    EXPECT_EQ(result.status, 0) << joined(group);
    EXPECT_EQ(result.out.rfind("OVERVIEW: ", 0), 0u) << joined(group);
  }
}

TEST(HelpTest, LeafHelpShowsArgumentsWithValuesAndDefaults) {
  expectHelp(
      {"device", "set", "--help"},
      "OVERVIEW: Set default device by UID\n"
      "\n"
      "USAGE: kestrune device set <uid> [--direction <direction>] [--json] [--socket <socket>]\n"
      "\n"
      "ARGUMENTS:\n"
      "  <uid>                   Device UID.\n"
      "\n"
      "OPTIONS:\n"
      "  -d, --direction <direction>\n"
      "                          Direction: output or input (default: output).\n"
      "                          (values: input, output; default: output)\n"
      "  --json                  Output raw JSON for scripting.\n"
      "  --socket <socket>       Custom socket path (default: auto-detected).\n"
      "  --version               Show the version.\n"
      "  -h, --help              Show help information.\n"
      "\n");
  expectHelp({"app", "mute", "--help"},
             "OVERVIEW: Mute, unmute, or toggle an app\n"
             "\n"
             "USAGE: kestrune app mute <app> [<action>] [--json] [--socket <socket>]\n"
             "\n"
             "ARGUMENTS:\n"
             "  <app>                   App name or bundle ID.\n"
             "  <action>                Action: on, off, or toggle (default: toggle).\n"
             "                          (values: on, off, toggle; default: toggle)\n"
             "\n"
             "OPTIONS:\n"
             "  --json                  Output raw JSON for scripting.\n"
             "  --socket <socket>       Custom socket path (default: auto-detected).\n"
             "  --version               Show the version.\n"
             "  -h, --help              Show help information.\n"
             "\n");
  expectHelp({"media", "forward", "--help"},
             "OVERVIEW: Skip forward by seconds\n"
             "\n"
             "USAGE: kestrune media forward [<seconds>] [--json] [--socket <socket>]\n"
             "\n"
             "ARGUMENTS:\n"
             "  <seconds>               Seconds to skip (default: 15). (default: 15.0)\n"
             "\n"
             "OPTIONS:\n"
             "  --json                  Output raw JSON for scripting.\n"
             "  --socket <socket>       Custom socket path (default: auto-detected).\n"
             "  --version               Show the version.\n"
             "  -h, --help              Show help information.\n"
             "\n");
}

TEST(HelpTest, HelpSubcommandShowsTheNamedCommand) {
  const std::string setHelp =
      "OVERVIEW: Set volume (0-100)\n"
      "\n"
      "USAGE: kestrune volume set <level> [--json] [--socket <socket>]\n"
      "\n"
      "ARGUMENTS:\n"
      "  <level>                 Volume level (0-100).\n"
      "\n"
      "OPTIONS:\n"
      "  --json                  Output raw JSON for scripting.\n"
      "  --socket <socket>       Custom socket path (default: auto-detected).\n"
      "  --version               Show the version.\n"
      "  -h, --help              Show help information.\n"
      "\n";
  expectHelp({"help", "volume", "set"}, setHelp);
  expectHelp({"volume", "set", "--help"}, setHelp);
  // Help wins over a value that is out of range or cannot be parsed.
  expectHelp({"volume", "set", "abc", "-h"}, setHelp);
}

TEST(HelpTest, CompletionsHelpShowsItsDiscussion) {
  expectHelp({"completions"},
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

struct UsageErrorCase {
  std::vector<std::string> arguments;
  std::string err;
};

TEST(UsageErrorTest, PrintsTheErrorTheUsageAndAHintWithStatus64) {
  const std::vector<UsageErrorCase> cases = {
      {{"volume", "get", "--jsn"},
       "Error: Unknown option '--jsn'. Did you mean '--json'?\n"
       "Usage: kestrune volume get [--json] [--socket <socket>]\n"
       "  See 'kestrune volume get --help' for more information.\n"},
      {{"--json", "volume", "get"},
       "Error: Unknown option '--json'\n"
       "Usage: kestrune <subcommand>\n"
       "  See 'kestrune --help' for more information.\n"},
      {{"volume", "set"},
       "Error: Missing expected argument '<level>'\n"
       "Help:  <level>  Volume level (0-100).\n"
       "Usage: kestrune volume set <level> [--json] [--socket <socket>]\n"
       "  See 'kestrune volume set --help' for more information.\n"},
      {{"volume", "set", "loud"},
       "Error: The value 'loud' is invalid for '<level>'\n"
       "Help:  <level>  Volume level (0-100).\n"
       "Usage: kestrune volume set <level> [--json] [--socket <socket>]\n"
       "  See 'kestrune volume set --help' for more information.\n"},
      {{"device", "current", "Output"},
       "Error: The value 'Output' is invalid for '<direction>'. Please provide one of input or "
       "output\n"
       "Help:  <direction>  Direction: output or input.\n"
       "Usage: kestrune device current [<direction>] [--json] [--socket <socket>]\n"
       "  See 'kestrune device current --help' for more information.\n"},
      {{"app", "mute", "Music", "Off"},
       "Error: The value 'Off' is invalid for '<action>'. Please provide one of on, off or toggle\n"
       "Help:  <action>  Action: on, off, or toggle (default: toggle).\n"
       "Usage: kestrune app mute <app> [<action>] [--json] [--socket <socket>]\n"
       "  See 'kestrune app mute --help' for more information.\n"},
      {{"media", "repeat", "one"},
       "Error: Unexpected argument 'one'\n"
       "Usage: kestrune media repeat [--json] [--socket <socket>]\n"
       "  See 'kestrune media repeat --help' for more information.\n"},
      {{"device", "set", "U", "input"},
       "Error: Unexpected argument 'input'\n"
       "Usage: kestrune device set <uid> [--direction <direction>] [--json] [--socket <socket>]\n"
       "  See 'kestrune device set --help' for more information.\n"},
      {{"media", "playpause"},
       "Error: Unexpected argument 'playpause'\n"
       "Usage: kestrune media <subcommand>\n"
       "  See 'kestrune media --help' for more information.\n"},
      {{"---"},
       "Error: Invalid option: ---\n"
       "Usage: kestrune <subcommand>\n"
       "  See 'kestrune --help' for more information.\n"},
      {{"device", "list", "-d"},
       "Error: Missing value for '-d <direction>'\n"
       "Help:  --direction <direction>  Filter by direction: input or output.\n"
       "Usage: kestrune device list [--direction <direction>] [--json] [--socket <socket>]\n"
       "  See 'kestrune device list --help' for more information.\n"},
      {{"volume", "--socket"},
       "Error: Missing value for '--socket <socket>'\n"
       "Help:  --socket <socket>  Custom socket path (default: auto-detected).\n"
       "Usage: kestrune volume get [--json] [--socket <socket>]\n"
       "  See 'kestrune volume get --help' for more information.\n"},
      {{"profile", "apply"},
       "Error: Missing expected argument '<name>'\n"
       "Help:  <name>  Profile name.\n"
       "Usage: kestrune profile apply <name> [--json] [--socket <socket>]\n"
       "  See 'kestrune profile apply --help' for more information.\n"},
      {{"completions", "zsh", "install", "--json"},
       "Error: Unknown option '--json'\n"
       "Usage: kestrune completions zsh install\n"
       "  See 'kestrune completions zsh install --help' for more information.\n"},
  };
  for (const auto& c : cases) {
    const ProcessResult result = kestrune(c.arguments);
    EXPECT_EQ(result.err, c.err) << joined(c.arguments);
    EXPECT_EQ(result.out, "") << joined(c.arguments);
    EXPECT_EQ(result.status, 64) << joined(c.arguments);
  }
}

TEST(UsageErrorTest, UnknownWordsAndMisplacedOptionsNeverReachTheApplication) {
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"speaker"},
                                             {"media", "prev"},
                                             {"silent-mode", "on"},
                                             {"bluetooth", "list", "all"},
                                             {"--socket", "/tmp/x", "status"},
                                             {"app", "volume", "Music", "loud"},
                                             {"media", "forward", "-5"}}) {
    const ProcessResult result = kestrune(arguments);
    EXPECT_EQ(result.status, 64) << joined(arguments);
    EXPECT_EQ(result.err.rfind("Error: ", 0), 0u) << joined(arguments) << ": " << result.err;
    EXPECT_NE(result.err.find("\nUsage: kestrune"), std::string::npos) << result.err;
  }
}

}  // namespace
}  // namespace kestrune
