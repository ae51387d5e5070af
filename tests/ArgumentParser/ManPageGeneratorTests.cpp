#include "ArgumentParser/ManPageGenerator.h"

#include <gtest/gtest.h>

#include <string>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/CompletionsTestTree.h"
#include "TestCommands.h"
#include "completions/ShellRunner.h"
#include "completions/TemporaryDirectory.h"

namespace argparse {
namespace {

using kestrune::testing::hasProgram;
using kestrune::testing::runCommand;
using kestrune::testing::shellQuoted;
using kestrune::testing::TemporaryDirectory;
using kestrune::testing::writeFile;

bool contains(const std::string& page, const std::string& part) {
  return page.find(part) != std::string::npos;
}

ManualPageDetails sampleDetails() {
  return {.source = "kestrune 1.2",
          .date = "2026-01-02",
          .sections = {{.title = "FILES", .entries = {{"~/.tool/socket", "The socket."}}},
                       {.title = "ENVIRONMENT", .entries = {{"XDG_DATA_HOME", "Data."}}},
                       {.title = "EXIT STATUS", .paragraphs = {"Failures it reports exit 0."}},
                       {.title = "SEE ALSO", .references = {"toold(1)", "zsh(1)"}}}};
}

TEST(ManPage, DescribesEveryOfferedCommandWithItsUsageAndArguments) {
  const std::string page = manualPage(testing::sampleDump(), sampleDetails());
  EXPECT_EQ(page.substr(0, page.find('\n')),
            R"(.TH "KESTRUNE" 1 "2026-01-02" "kestrune 1.2" "User Commands")");
  EXPECT_TRUE(contains(page, ".SH NAME\nkestrune \\- Control the application\n"));
  EXPECT_TRUE(contains(page, ".SH SYNOPSIS\n\\fBkestrune\\fR <\\fIsubcommand\\fR>\n"));
  EXPECT_TRUE(contains(page,
                       ".SS \"kestrune volume set\"\nSet volume level\n.PP\n"
                       "\\fBkestrune volume set\\fR <\\fIlevel\\fR> [\\fB\\-\\-json\\fR] "
                       "[\\fB\\-\\-socket\\fR\\ <\\fIsocket\\fR>]\n"
                       ".PP\nArguments:\n.TP\n<\\fIlevel\\fR>\nVolume level (0\\-100)\n"
                       ".PP\nOptions:\n.TP\n\\fB\\-\\-json\\fR\nOutput as JSON\n"));
  EXPECT_TRUE(contains(page, ".TP\n\\fBget\\fR (default)\nGet current volume\n"));
  EXPECT_TRUE(contains(page, ".SS \"kestrune help\"\n"));
  // Hidden commands and options stay out; the built-in flags are listed once.
  EXPECT_FALSE(contains(page, "debug"));
  EXPECT_FALSE(contains(page, "generate\\-completion\\-script\\fR"));
  EXPECT_EQ(page.find("Show help information."), page.rfind("Show help information."));
  EXPECT_TRUE(contains(page,
                       "Every command accepts \\fB\\-\\-version\\fR and \\fB\\-h\\fR, "
                       "\\fB\\-\\-help\\fR.\n"));
}

TEST(ManPage, MergesTheProgramsSectionsIntoTheFrameworksInTheUsualOrder) {
  const std::string page = manualPage(testing::sampleDump(), sampleDetails());
  const auto commands = page.find(".SH COMMANDS");
  const auto exitStatus = page.find(".SH \"EXIT STATUS\"");
  const auto environment = page.find(".SH \"ENVIRONMENT\"");
  const auto files = page.find(".SH \"FILES\"");
  const auto seeAlso = page.find(".SH \"SEE ALSO\"");
  EXPECT_LT(commands, exitStatus);
  EXPECT_LT(exitStatus, environment);
  EXPECT_LT(environment, files);
  EXPECT_LT(files, seeAlso);
  EXPECT_NE(seeAlso, std::string::npos);
  EXPECT_TRUE(contains(page, ".TP\n\\fB64\\fR\nUsage error"));
  EXPECT_TRUE(contains(page, ".SH \"EXIT STATUS\"\nFailures it reports exit 0.\n.TP\n\\fB0\\fR\n"));
  EXPECT_LT(page.find("\\fBSHELL\\fR"), page.find("\\fBXDG_DATA_HOME\\fR"));
  EXPECT_TRUE(contains(page, "\\fBtoold\\fR(1),\n\\fBzsh\\fR(1)\n"));
}

TEST(ManPage, EscapesTextThatRoffWouldReadAsMarkup) {
  EXPECT_EQ(roffEscaped("a\\b --x \xE2\x86\x92 \xE2\x9C\x93"), "a\\eb \\-\\-x \\(-> \\[u2713]");
  ToolInfoV0 dump = testing::sampleDump();
  dump.command.discussion =
      ".dot starts a line\n'quote too\n\nExamples:\n  tool a --b\n    tool \"c\"\nafter";
  const std::string page = manualPage(dump, {});
  EXPECT_TRUE(contains(page,
                       "\\&.dot starts a line\n\\&'quote too\n.PP\nExamples:\n"
                       ".RS 4\n.nf\ntool a \\-\\-b\n  tool \"c\"\n.fi\n.RE\nafter\n"));
  EXPECT_TRUE(contains(page, ".SS \"kestrune silent\\-mode\"\nSilent mode: it's \"quiet\"\n"));
}

TEST(ManPage, FormatsWithoutWarningsFromGroff) {
  if (!hasProgram("groff")) {
    GTEST_SKIP() << "groff is not installed here (apt-get install groff-base)";
  }
  ToolInfoV0 dump = testing::sampleDump();
  dump.command.discussion = ".x\n\nExamples:\n  tool a\n\n\n  tool b \xE2\x86\x92 c";
  TemporaryDirectory directory;
  writeFile(directory / "tool.1", manualPage(dump, sampleDetails()));
  auto result =
      runCommand("groff -man -Tutf8 -ww -z " + shellQuoted(directory / "tool.1") + " 2>&1");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
}

TEST(ManPage, IsPrintedForGenerateManualWhereverItStands) {
  ::setenv("SOURCE_DATE_EPOCH", "86400", 1);
  Outcome atRoot = execute<testtool::Tool>({"--generate-manual"});
  Outcome below = execute<testtool::Tool>({"level", "set", "--generate-manual"});
  ::unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_EQ(atRoot.status, 0);
  EXPECT_EQ(atRoot.err, "");
  EXPECT_EQ(atRoot.out.substr(0, atRoot.out.find('\n')),
            R"(.TH "TOOL" 1 "1970-01-02" "tool 1.2.3" "User Commands")");
  EXPECT_TRUE(contains(atRoot.out, ".SS \"tool level set\"\n"));
  EXPECT_EQ(below.out, atRoot.out);
  EXPECT_EQ(below.status, 0);
}

}  // namespace
}  // namespace argparse
