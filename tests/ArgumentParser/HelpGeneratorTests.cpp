#include "ArgumentParser/HelpGenerator.h"

#include <gtest/gtest.h>

#include "ArgumentParser/ArgumentParser.h"
#include "TestCommands.h"

namespace argparse {
namespace {

using testtool::Tool;

TEST(WrapText, CutsAtTheLastSpaceThatFits) {
  EXPECT_EQ(wrapText("the quick brown fox", 10), "the quick\nbrown fox");
  EXPECT_EQ(wrapText("the quick brown fox", 14, 4), "    the quick\n    brown fox");
}

TEST(WrapText, KeepsLineBreaksAndEmptyLinesWithoutIndentingThem) {
  EXPECT_EQ(wrapText("one\n\ntwo", 80, 2), "  one\n\n  two");
}

TEST(WrapText, LongWordsRunToTheNextSpace) {
  EXPECT_EQ(wrapText("abcdefghij klm", 5), "abcdefghij\nklm");
  EXPECT_EQ(wrapText("abcdefghij", 5), "abcdefghij");
}

TEST(WrapText, NothingFitsInZeroColumns) {
  EXPECT_EQ(wrapText("text", 10, 10), "");
  EXPECT_EQ(wrapText("text", 10, 12), "");
}

TEST(WrapText, CountsCharactersNotBytes) {
  // Each arrow is three bytes but one column.
  EXPECT_EQ(wrapText("off \u2192 all \u2192 one", 11), "off \u2192 all\n\u2192 one");
}

TEST(HelpScreen, RootListsSubcommandsAndBuiltInFlags) {
  EXPECT_EQ(helpMessage(command<Tool>(), nullptr, false, 80),
            "OVERVIEW: A test tool\n"
            "\n"
            "USAGE: tool <subcommand>\n"
            "\n"
            "OPTIONS:\n"
            "  --version               Show the version.\n"
            "  -h, --help              Show help information.\n"
            "\n"
            "SUBCOMMANDS:\n"
            "  level                   Get or set the level\n"
            "  files, f, fs            Work with files\n"
            "  plain                   A group without a default\n"
            "\n"
            "  See 'tool help <subcommand>' for detailed help.");
}

TEST(HelpScreen, GroupMarksItsDefaultSubcommand) {
  EXPECT_EQ(helpMessage(command<Tool>(), command<testtool::LevelCommand>(), false, 80),
            "OVERVIEW: Get or set the level\n"
            "\n"
            "USAGE: tool level <subcommand>\n"
            "\n"
            "OPTIONS:\n"
            "  --version               Show the version.\n"
            "  -h, --help              Show help information.\n"
            "\n"
            "SUBCOMMANDS:\n"
            "  get (default)           Get the level\n"
            "  set                     Set the level\n"
            "\n"
            "  See 'tool help level <subcommand>' for detailed help.");
}

TEST(HelpScreen, LeafShowsSectionsValuesDefaultsAndTitledGroups) {
  EXPECT_EQ(helpMessage(command<Tool>(), command<testtool::LevelCommand::Set>(), false, 80),
            "OVERVIEW: Set the level\n"
            "\n"
            "USAGE: tool level set <level> [--side <side>] [--only <only>] [--verbose] "
            "[--retries <retries>] [--json] [--socket <socket>]\n"
            "\n"
            "ARGUMENTS:\n"
            "  <level>                 Level (0-100).\n"
            "\n"
            "TUNING:\n"
            "  --retries <retries>     How often to retry. (default: 3)\n"
            "\n"
            "OPTIONS:\n"
            "  -s, --side <side>       Which side. (values: left, right; default: right)\n"
            "  --only <only>           Limit to one side. (values: left, right)\n"
            "  -v, --verbose           Say more.\n"
            "  --json                  Output raw JSON for scripting.\n"
            "  --socket <socket>       Custom socket path (default: auto-detected).\n"
            "  --version               Show the version.\n"
            "  -h, --help              Show help information.\n");
}

TEST(HelpScreen, NarrowTerminalWrapsAbstractsUnderTheLabelColumn) {
  EXPECT_EQ(helpMessage(command<Tool>(), command<testtool::LevelCommand::Get>(), false, 40),
            "OVERVIEW: Get the level\n"
            "\n"
            "USAGE: tool level get [--json] [--socket <socket>]\n"
            "\n"
            "OPTIONS:\n"
            "  --json                  Output raw\n"
            "                          JSON for\n"
            "                          scripting.\n"
            "  --socket <socket>       Custom socket\n"
            "                          path\n"
            "                          (default:\n"
            "                          auto-detected).\n"
            "  --version               Show the\n"
            "                          version.\n"
            "  -h, --help              Show help\n"
            "                          information.\n");
}

TEST(HelpScreen, HiddenArgumentsOnlyWithHiddenHelp) {
  const std::string shown = helpMessage(command<Tool>(), command<testtool::Files>(), false, 80);
  const std::string hidden = helpMessage(command<Tool>(), command<testtool::Files>(), true, 80);
  EXPECT_EQ(shown.find("--secret"), std::string::npos);
  EXPECT_NE(hidden.find("  --secret <secret>       Not for everyone.\n"), std::string::npos);
  EXPECT_EQ(usageString(command<Tool>(), command<testtool::Files>(), true),
            "tool files --device-uid <device-uid> [--secret <secret>] [--profile <profile>] "
            "[<paths> ...]");
}

// Commands whose labels sit on either side of the label column.
struct Labels : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "labels",
            .abstract = "Label widths",
            .discussion = "Some longer text\nover two lines."};
  }
  // "--fits <" + 14 + ">" is 23 characters, 25 with the indent.
  Option<std::optional<std::string>> fits{
      this, "fits", {.help = {.abstract = "Same line.", .valueName = "abcdefghijklmn"}}};
  // One more character moves the abstract to the next line.
  Option<std::optional<std::string>> wraps{this,
                                           "wraps",
                                           {.help = {.abstract = "Next line.",
                                                     .discussion = "Said at length.",
                                                     .valueName = "abcdefghijklmn"}}};
  Argument<std::vector<std::string>> rest{
      this,
      "rest",
      {.defaultValue = std::vector<std::string>{}, .parsing = ParsingStrategy::postTerminator}};
  Option<double> seconds{this, "seconds", {.help = {"Seconds to skip."}, .defaultValue = 15.0}};
};

TEST(HelpScreen, LabelOfTwentyFiveColumnsKeepsTheAbstractOnItsLine) {
  EXPECT_EQ(helpMessage(command<Labels>(), nullptr, false, 80),
            "OVERVIEW: Label widths\n"
            "\n"
            "Some longer text\n"
            "over two lines.\n"
            "\n"
            "USAGE: labels [--fits <abcdefghijklmn>] [--wraps <abcdefghijklmn>] -- [<rest> ...] "
            "[--seconds <seconds>]\n"
            "\n"
            "ARGUMENTS:\n"
            "  <rest>\n"
            "\n"
            "OPTIONS:\n"
            "  --fits <abcdefghijklmn> Same line.\n"
            "  --wraps <abcdefghijklmn>\n"
            "                          Next line.\n"
            "        Said at length.\n"
            "  --seconds <seconds>     Seconds to skip. (default: 15.0)\n"
            "  -h, --help              Show help information.\n");
}

struct Many : ParsableCommand {
  static CommandConfiguration configuration() { return {.commandName = "many"}; }
  Argument<std::string> first{this, "first"};
  Option<std::string> needed{this, "needed"};
  Flag f1{this, "f1"};
  Flag f2{this, "f2"};
  Flag f3{this, "f3"};
  Flag f4{this, "f4"};
  Flag f5{this, "f5"};
  Flag f6{this, "f6"};
  Flag f7{this, "f7"};
  Flag f8{this, "f8"};
  Flag f9{this, "f9"};
  Flag f10{this, "f10"};
  Flag f11{this, "f11"};
};

struct Configured : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "configured",
            ._superCommandName = "outer",
            .usage = "configured one\nconfigured two",
            .subcommands = {command<Hidden>(), command<Grouped>()},
            .groupedSubcommands = {CommandGroup{"Extra", {command<Grouped2>()}}}};
  }
  struct Hidden : ParsableCommand {
    static CommandConfiguration configuration() { return {.shouldDisplay = false}; }
  };
  struct Grouped : ParsableCommand {
    static CommandConfiguration configuration() { return {.abstract = "Plain child"}; }
  };
  struct Grouped2 : ParsableCommand {
    static CommandConfiguration configuration() { return {.abstract = "Grouped child"}; }
  };
};

TEST(UsageLine, ManyArgumentsKeepOnlyPositionalsAndRequiredOnes) {
  EXPECT_EQ(usageString(command<Many>()), "many [<options>] <first> --needed <needed>");
}

TEST(HelpScreen, ConfiguredUsageGroupsAndSuperCommandName) {
  EXPECT_EQ(helpMessage(command<Configured>(), nullptr, false, 80),
            "USAGE: configured one\n"
            "       configured two\n"
            "\n"
            "OPTIONS:\n"
            "  -h, --help              Show help information.\n"
            "\n"
            "SUBCOMMANDS:\n"
            "  grouped                 Plain child\n"
            "\n"
            "EXTRA SUBCOMMANDS:\n"
            "  grouped2                Grouped child\n"
            "\n"
            "  See 'outer configured help <subcommand>' for detailed help.");
  EXPECT_EQ(usageString(command<Configured>(), command<Configured::Grouped>()),
            "outer configured grouped");
}

}  // namespace
}  // namespace argparse
