#include "ArgumentParser/CommandParser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/Messages.h"
#include "TestCommands.h"

namespace argparse {
namespace {

using testtool::observed;
using testtool::Tool;

const std::string kSetUsage =
    "Usage: tool level set <level> [--side <side>] [--only <only>] [--verbose] [--retries "
    "<retries>] [--json] [--socket <socket>]\n"
    "  See 'tool level set --help' for more information.\n";

class CommandParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("COLUMNS", "80", 1);
    ::setenv("LINES", "25", 1);
    observed() = testtool::Observed{};
  }
  static Outcome run(const std::vector<std::string>& arguments) { return execute<Tool>(arguments); }
  static void expectUsageError(const std::vector<std::string>& arguments,
                               const std::string& expectedErr) {
    Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.err, expectedErr);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 64);
  }
};

TEST_F(CommandParserTest, DescendsToTheLeafAndFillsItsArguments) {
  Outcome outcome = run({"level", "set", "--json", "42.5", "--socket", "/tmp/s", "-s", "left"});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(observed().command, "set");
  EXPECT_EQ(observed().level, 42.5);
  EXPECT_TRUE(observed().json);
  EXPECT_EQ(observed().socket, "/tmp/s");
  EXPECT_EQ(observed().side, testtool::Side::left);
  EXPECT_FALSE(observed().only.has_value());
}

TEST_F(CommandParserTest, DefaultsApplyWhenArgumentsAreLeftOut) {
  EXPECT_EQ(run({"level", "set", "7"}).status, 0);
  EXPECT_EQ(observed().side, testtool::Side::right);
  EXPECT_FALSE(observed().json);
  EXPECT_FALSE(observed().socket.has_value());
}

TEST_F(CommandParserTest, GroupWithoutSubcommandNameRunsItsDefault) {
  EXPECT_EQ(run({"level"}).status, 0);
  EXPECT_EQ(observed().command, "get");
  EXPECT_EQ(run({"level", "--json"}).status, 0);
  EXPECT_EQ(observed().command, "get");
  EXPECT_TRUE(observed().json);
}

TEST_F(CommandParserTest, AliasesNameTheCommandToo) {
  EXPECT_EQ(run({"fs", "--device-uid", "d", "a", "b"}).status, 0);
  EXPECT_EQ(observed().command, "files");
  EXPECT_EQ(observed().words, (std::vector<std::string>{"a", "b"}));
}

TEST_F(CommandParserTest, LastOfARepeatedSingleValueOptionWins) {
  EXPECT_EQ(run({"level", "get", "--socket", "a", "--socket", "b"}).status, 0);
  EXPECT_EQ(observed().socket, "b");
}

TEST_F(CommandParserTest, OptionBeforeItsCommandNameIsUnknownAtTheUpperLevel) {
  expectUsageError({"--json", "level", "get"},
                   "Error: Unknown option '--json'\n"
                   "Usage: tool <subcommand>\n"
                   "  See 'tool --help' for more information.\n");
}

TEST_F(CommandParserTest, TerminatorMakesEverythingAValue) {
  EXPECT_EQ(run({"level", "set", "-v", "--", "-5"}).status, 0);
  EXPECT_EQ(observed().level, -5);
  expectUsageError({"level", "set", "--", "-h"},
                   "Error: The value '-h' is invalid for '<level>'\n"
                   "Help:  <level>  Level (0-100).\n" +
                       kSetUsage);
  // A child's name after the terminator is only a value.
  expectUsageError({"--", "level"},
                   "Error: Unexpected argument 'level'\n"
                   "Usage: tool <subcommand>\n"
                   "  See 'tool --help' for more information.\n");
}

TEST_F(CommandParserTest, LoneDashIsAValue) {
  EXPECT_EQ(run({"files", "--device-uid", "-", "-"}).status, 0);
  EXPECT_EQ(observed().words, std::vector<std::string>{"-"});
}

TEST_F(CommandParserTest, EqualsWithNothingAfterItTakesTheNextArgument) {
  EXPECT_EQ(run({"level", "set", "--only=", "left", "4"}).status, 0);
  EXPECT_EQ(observed().only, testtool::Side::left);
  EXPECT_EQ(observed().level, 4);
}

TEST_F(CommandParserTest, CombinedShortFlagsAndAValueForTheLastLetter) {
  EXPECT_EQ(run({"level", "set", "-vs", "left", "3"}).status, 0);
  EXPECT_EQ(observed().side, testtool::Side::left);
  expectUsageError({"level", "set", "-sv", "left", "3"},
                   "Error: Unknown option '-sv'\n"
                   "   or: Missing value for '-s <side>' in '-sv'\n" +
                       kSetUsage);
  expectUsageError({"level", "set", "4", "-vx"}, "Error: Unknown option '-x'\n" + kSetUsage);
}

TEST_F(CommandParserTest, ThreeDashesAreInvalidEvenWithHelp) {
  const std::string expected =
      "Error: Invalid option: ---\n"
      "Usage: tool <subcommand>\n"
      "  See 'tool --help' for more information.\n";
  expectUsageError({"---"}, expected);
  expectUsageError({"level", "---", "-h"}, expected);
}

TEST_F(CommandParserTest, HelpWinsOverOtherMistakes) {
  const std::string help =
      helpMessage(command<Tool>(), command<testtool::LevelCommand::Set>(), false, 80) + "\n";
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"level", "set", "4", "--bogus", "-h"},
                                             {"level", "set", "4", "--side", "--help"},
                                             {"level", "set", "abc", "-h"},
                                             {"level", "set", "-h"},
                                             {"help", "level", "set"}}) {
    Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.out, help) << arguments[2];
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
  }
}

TEST_F(CommandParserTest, GroupHelpIsShownBeforeFallingBackToTheDefault) {
  Outcome outcome = run({"level", "--help"});
  EXPECT_EQ(outcome.out,
            helpMessage(command<Tool>(), command<testtool::LevelCommand>(), false, 80) + "\n");
  EXPECT_EQ(outcome.status, 0);
}

TEST_F(CommandParserTest, HiddenHelpShowsHiddenArguments) {
  Outcome outcome = run({"files", "--help-hidden"});
  EXPECT_EQ(outcome.out, helpMessage(command<Tool>(), command<testtool::Files>(), true, 80) + "\n");
}

TEST_F(CommandParserTest, RootWithoutArgumentsPrintsItsHelp) {
  Outcome outcome = run({});
  EXPECT_EQ(outcome.out, helpMessage(command<Tool>(), nullptr, false, 80) + "\n");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(run({"help"}).out, outcome.out);
}

TEST_F(CommandParserTest, VersionFromAnyCommandBelowTheRoot) {
  Outcome outcome = run({"level", "set", "--version"});
  EXPECT_EQ(outcome.out, "1.2.3\n");
  EXPECT_EQ(outcome.status, 0);
}

TEST_F(CommandParserTest, UnknownLongOptionGetsASuggestion) {
  expectUsageError({"level", "set", "4", "--jsn"},
                   "Error: Unknown option '--jsn'. Did you mean '--json'?\n" + kSetUsage);
  expectUsageError({"level", "set", "4", "--sid"},
                   "Error: Unknown option '--sid'. Did you mean '--side'?\n" + kSetUsage);
  expectUsageError({"level", "set", "4", "-j"}, "Error: Unknown option '-j'\n" + kSetUsage);
  expectUsageError({"level", "set", "4", "--completely-different"},
                   "Error: Unknown option '--completely-different'\n" + kSetUsage);
}

TEST_F(CommandParserTest, ValueErrorsCarryTheArgumentsHelp) {
  expectUsageError({"level", "set"},
                   "Error: Missing expected argument '<level>'\n"
                   "Help:  <level>  Level (0-100).\n" +
                       kSetUsage);
  expectUsageError({"level", "set", "4", "--side"},
                   "Error: Missing value for '--side <side>'\n"
                   "Help:  --side <side>  Which side.\n" +
                       kSetUsage);
  expectUsageError(
      {"level", "set", "4", "-s", "up"},
      "Error: The value 'up' is invalid for '-s'. Please provide one of left or right\n"
      "Help:  --side <side>  Which side.\n" +
          kSetUsage);
  expectUsageError({"level", "set", "4", "--json=yes"},
                   "Error: The option '--json' does not take any value, but 'yes' was "
                   "specified.\n" +
                       kSetUsage);
  expectUsageError({"level", "set", "4", "x", "y"},
                   "Error: 2 unexpected arguments: 'x', 'y'\n" + kSetUsage);
}

TEST_F(CommandParserTest, EnumerationFlagsAndInversions) {
  const std::string usage =
      "Usage: tool plain leaf --slow [--color]\n"
      "  See 'tool plain leaf --help' for more information.\n";
  expectUsageError({"plain", "leaf"},
                   "Error: Missing one of: '--slow', '--fast'\nHelp:  --slow  How fast.\n" + usage);
  expectUsageError({"plain", "leaf", "--fast", "--slow"},
                   "Error: Value to be set with flag '--slow' had already been set with flag "
                   "'--fast'\n" +
                       usage);
  EXPECT_EQ(run({"plain", "leaf", "--fast", "--fast"}).status, 0);
  EXPECT_TRUE(observed().json);  // colour defaults to on
  EXPECT_EQ(run({"plain", "leaf", "--slow", "--no-color"}).status, 0);
  EXPECT_FALSE(observed().json);
  EXPECT_EQ(run({"plain", "leaf", "--slow", "--no-color", "--color"}).status, 0);
  EXPECT_TRUE(observed().json);  // the last one given wins
}

// Parsing strategies and run outcomes, on a root of their own without a version.
struct Strategies : ParsableCommand {
  static CommandConfiguration configuration() { return {.commandName = "strategies"}; }
  Option<std::optional<std::string>> scan{
      this, "scan", {.parsing = ParsingStrategy::scanningForValue}};
  Option<std::optional<std::string>> raw{this, "raw", {.parsing = ParsingStrategy::unconditional}};
  Option<std::vector<std::string>> many{this,
                                        "many",
                                        {.defaultValue = std::vector<std::string>{"initial"},
                                         .parsing = ParsingStrategy::upToNextOption}};
  Option<std::vector<std::string>> rest{
      this,
      "rest",
      {.defaultValue = std::vector<std::string>{}, .parsing = ParsingStrategy::allRemainingInput}};
  Option<std::optional<int>> count{
      this, "count", {.name = NameSpecification::customShort('c', true)}};
  Argument<std::vector<std::string>> values{
      this, "values", {.defaultValue = std::vector<std::string>{}}};
  Flag flag{this, "flag"};

  inline static std::vector<std::string> seen;
  void run() override {
    seen = {scan->value_or("-"),
            raw->value_or("-"),
            std::to_string(many->size()),
            std::to_string(rest->size()),
            count->has_value() ? std::to_string(**count) : "-",
            std::to_string(values->size())};
    for (const auto& v : *many) {
      seen.push_back("many:" + v);
    }
    for (const auto& v : *rest) {
      seen.push_back("rest:" + v);
    }
  }
};

TEST_F(CommandParserTest, SingleValueStrategies) {
  using V = std::vector<std::string>;
  ASSERT_EQ(execute<Strategies>({"--scan", "--flag", "found", "--raw", "--dash"}).err, "");
  EXPECT_EQ(Strategies::seen, (V{"found", "--dash", "1", "0", "-", "0", "many:initial"}));
  ASSERT_EQ(execute<Strategies>({"-c5", "v"}).err, "");
  EXPECT_EQ(Strategies::seen, (V{"-", "-", "1", "0", "5", "1", "many:initial"}));
}

TEST_F(CommandParserTest, ArrayStrategiesReplaceTheirDefaults) {
  using V = std::vector<std::string>;
  ASSERT_EQ(execute<Strategies>({"--many", "a", "b", "--flag", "v", "--rest", "--x", "y"}).err, "");
  EXPECT_EQ(Strategies::seen,
            (V{"-", "-", "2", "2", "-", "1", "many:a", "many:b", "rest:--x", "rest:y"}));
}

TEST_F(CommandParserTest, VersionIsUnknownWithoutOne) {
  Outcome outcome = execute<Strategies>({"--version"});
  EXPECT_EQ(outcome.err,
            "Error: Unknown option '--version'\n"
            "Usage: strategies [--scan <scan>] [--raw <raw>] [--many <many> ...] [--rest <rest> "
            "...] [-c <count>] [<values> ...] [--flag]\n"
            "  See 'strategies --help' for more information.\n");
  EXPECT_EQ(outcome.status, 64);
}

struct Failing : ParsableCommand {
  static CommandConfiguration configuration() { return {.commandName = "failing"}; }
  Argument<std::string> what{this, "what", {.help = {"What to do."}}};
  void validate() override {
    if (*what == "invalid") {
      throw ValidationError("That will not do.");
    }
  }
  void run() override {
    if (*what == "boom") {
      throw std::runtime_error("Something broke.");
    }
    if (*what == "code") {
      throw ExitCode{3};
    }
    if (*what == "message") {
      throw CleanExit::message("All done.");
    }
    if (*what == "quiet") {
      throw std::runtime_error("");
    }
  }
};

TEST_F(CommandParserTest, ValidationErrorsAreUsageErrorsUnlessHelpIsAsked) {
  Outcome outcome = execute<Failing>({"invalid"});
  EXPECT_EQ(outcome.err,
            "Error: That will not do.\n"
            "Usage: failing <what>\n"
            "  See 'failing --help' for more information.\n");
  EXPECT_EQ(outcome.status, 64);
  EXPECT_EQ(execute<Failing>({"invalid", "--help"}).status, 0);
}

TEST_F(CommandParserTest, ErrorsFromRunReachTheExitPath) {
  Outcome boom = execute<Failing>({"boom"});
  EXPECT_EQ(boom.err, "Error: Something broke.\n");
  EXPECT_EQ(boom.status, 1);
  Outcome code = execute<Failing>({"code"});
  EXPECT_EQ(code.err, "");
  EXPECT_EQ(code.out, "");
  EXPECT_EQ(code.status, 3);
  Outcome message = execute<Failing>({"message"});
  EXPECT_EQ(message.out, "All done.\n");
  EXPECT_EQ(message.status, 0);
  Outcome quiet = execute<Failing>({"quiet"});
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(quiet.status, 1);
}

TEST_F(CommandParserTest, EmptyCommandLineErrorsShowTheWholeHelp) {
  Outcome outcome = execute<Failing>({});
  EXPECT_EQ(outcome.err,
            "Error: Missing expected argument '<what>'\n"
            "Help:  <what>  What to do.\n"
            "\n" +
                helpMessage(command<Failing>(), nullptr, false, 80) + "\n");
  EXPECT_EQ(outcome.status, 64);
}

TEST_F(CommandParserTest, ExitCodeForEachKindOfError) {
  auto codeFor = [](auto error) {
    return exitCode(command<Tool>(), std::make_exception_ptr(error)).rawValue;
  };
  EXPECT_EQ(codeFor(CleanExit::helpRequest()), 0);
  EXPECT_EQ(codeFor(ValidationError("bad")), 64);
  EXPECT_EQ(codeFor(ExitCode{3}), 3);
  EXPECT_EQ(codeFor(ExitCode::validationFailure), 64);
  EXPECT_EQ(codeFor(std::runtime_error("other")), 1);
  EXPECT_EQ(codeFor(42), 1);
  EXPECT_EQ(fullMessage(command<Tool>(), std::make_exception_ptr(std::runtime_error("other"))),
            "Error: other");
  EXPECT_EQ(message(command<Tool>(), std::make_exception_ptr(ValidationError("bad"))), "bad");
  EXPECT_EQ(fullMessage(command<Tool>(), std::make_exception_ptr(42)), "Error: Unknown error.");
}

TEST_F(CommandParserTest, ParseAsRootReturnsTheLeaf) {
  auto leaf = parseAsRoot<Tool>({"level", "set", "9"});
  auto* set = dynamic_cast<testtool::LevelCommand::Set*>(leaf.get());
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(*set->level, 9);
}

TEST(ErrorMessages, InternalAndStructuralCases) {
  CommandTree tree(command<Tool>());
  CommandStack root{&tree.root()};
  EXPECT_EQ(errorMessage(root, ParserError::simple(ParserError::Kind::notImplemented)),
            "Internal error. Parsing command-line arguments hit unimplemented code path.");
  EXPECT_EQ(errorMessage(root, ParserError::simple(ParserError::Kind::invalidState)),
            "Internal error. Invalid state while parsing command-line arguments.");
  EXPECT_EQ(errorMessage(root, ParserError::simple(ParserError::Kind::missingSubcommand)),
            "Missing required subcommand.");
  EXPECT_EQ(errorMessage(root, ParserError::notParentCommand("get")),
            "Command 'get' is not a parent of the current command.");
  EXPECT_EQ(errorMessage(root, ParserError::nonAlphanumericShortOption('?')), "Invalid option: -?");
  EXPECT_EQ(errorMessage(root, ParserError::noValue(InputKey{"ghost", {}})),
            "No value set for non-argument var ghost. Replace with a static variable, or let "
            "constant.");
  EXPECT_EQ(errorMessage(root, ParserError::unableToParseValue(std::nullopt, "x",
                                                               InputKey{"ghost", {}}, "")),
            "The value 'x' is invalid.");
}

}  // namespace
}  // namespace argparse

namespace argparse {
namespace {

struct ServerOptions : ParsableArguments {
  Argument<std::string> host{this, "host", {.help = {"Where to connect."}}};
  Option<int> port{this, "port", {.defaultValue = 80}};
};

TEST(LoneArguments, ParseWithoutATreeAndNameTheCommandFromTheType) {
  auto parsed = parse<ServerOptions>({"example.org", "--port", "8080"});
  EXPECT_EQ(*parsed->host, "example.org");
  EXPECT_EQ(*parsed->port, 8080);
  // "help" is an ordinary value where there are no subcommands.
  EXPECT_EQ(*parse<ServerOptions>({"help"})->host, "help");
  try {
    parse<ServerOptions>({"--port", "81"});
    FAIL() << "no error";
  } catch (...) {
    auto root = command<detail::LoneArguments<ServerOptions>>();
    EXPECT_EQ(fullMessage(root, std::current_exception()),
              "Error: Missing expected argument '<host>'\n"
              "Help:  <host>  Where to connect.\n"
              "Usage: server <host> [--port <port>]\n"
              "  See 'server --help' for more information.");
  }
}

}  // namespace
}  // namespace argparse

namespace argparse {
namespace {

struct Passthrough : ParsableCommand {
  static CommandConfiguration configuration() { return {.commandName = "pass"}; }
  Flag cache{this,
             "cache",
             {.help = {"Use the cache."},
              .defaultValue = false,
              .inversion = FlagInversion::prefixedEnableDisable}};
  Option<std::optional<int>> count{
      this, "count", {.name = NameSpecification::customLong("count", true)}};
  Argument<std::vector<std::string>> after{
      this,
      "after",
      {.defaultValue = std::vector<std::string>{}, .parsing = ParsingStrategy::postTerminator}};
  Argument<std::vector<std::string>> others{
      this,
      "others",
      {.defaultValue = std::vector<std::string>{}, .parsing = ParsingStrategy::allUnrecognized}};

  inline static std::string seen;
  void run() override {
    seen = std::string(cache ? "cache" : "nocache") +
           " count=" + (count->has_value() ? std::to_string(**count) : "-");
    for (const auto& v : *after) {
      seen += " after:" + v;
    }
    for (const auto& v : *others) {
      seen += " other:" + v;
    }
  }
};

TEST(PassthroughArguments, InversionsSingleDashNamesAndCapturedInput) {
  ASSERT_EQ(execute<Passthrough>({"--enable-cache", "-count=4", "x", "--odd", "--", "-y"}).err, "");
  EXPECT_EQ(Passthrough::seen, "cache count=4 after:-y other:x other:--odd");
  ASSERT_EQ(execute<Passthrough>({"--enable-cache", "--disable-cache", "-count", "5"}).err, "");
  EXPECT_EQ(Passthrough::seen, "nocache count=5");
  EXPECT_EQ(usageString(command<Passthrough>()),
            "pass [--enable-cache] [-count <count>] -- [<after> ...] [<others> ...]");
  EXPECT_NE(helpMessage(command<Passthrough>(), nullptr, false, 80)
                .find("  --enable-cache, --disable-cache\n"
                      "                          Use the cache. (default: --disable-cache)\n"),
            std::string::npos);
}

}  // namespace
}  // namespace argparse
