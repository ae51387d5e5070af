#include "ArgumentParser/Tree.h"

#include <gtest/gtest.h>

#include "ArgumentParser/ArgumentParser.h"
#include "TestCommands.h"

namespace argparse {
namespace {

struct Loop : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "loop", .subcommands = {command<Loop>()}};
  }
};

struct Outer : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "outer", .subcommands = {command<Inner>()}};
  }
  struct Inner : ParsableCommand {
    static CommandConfiguration configuration() { return {.subcommands = {command<Outer>()}}; }
  };
};

struct Echo : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "echo", .aliases = {"say", "echo"}};
  }
};

TEST(CommandTreeDeathTest, CommandCannotBeItsOwnSubcommand) {
  EXPECT_DEATH(CommandTree{command<Loop>()},
               "The command \"Loop\" can't have itself as its own subcommand.");
  EXPECT_DEATH(CommandTree{command<Outer>()},
               "The command \"Outer\" can't have itself as its own subcommand.");
}

TEST(CommandTreeDeathTest, AliasCannotRepeatTheName) {
  EXPECT_DEATH(CommandTree{command<Echo>()},
               "The command \"Echo\" can't have an alias with the same name as the command "
               "itself.");
}

TEST(CommandTree, HelpIsTheRootsLastChildAndStacksFindTypes) {
  CommandTree tree(command<testtool::Tool>());
  ASSERT_EQ(tree.root().children.size(), 4u);
  EXPECT_EQ(tree.root().children.back()->name(), "help");
  CommandStack stack = tree.stackFor(command<testtool::LevelCommand::Set>());
  ASSERT_EQ(stack.size(), 3u);
  EXPECT_EQ(stack[1]->name(), "level");
  EXPECT_EQ(tree.root().child("fs")->name(), "files");
  EXPECT_EQ(tree.root().child("nothing"), nullptr);
}

// Help names set on a group reach the commands below it.
struct Custom : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "custom",
            .subcommands = {command<Child>()},
            .helpNames = NameSpecification{NameSpecification::customLong("info"),
                                           NameSpecification::customShort('?')}};
  }
  struct Child : ParsableCommand {
    void run() override {}
  };
};

TEST(HelpNames, InheritedFromTheNearestCommandThatSetsThem) {
  ::setenv("COLUMNS", "80", 1);
  ::setenv("LINES", "25", 1);
  Outcome info = execute<Custom>({"child", "--info"});
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out.substr(0, 25), "USAGE: custom child\n\nOPTI");
  EXPECT_NE(info.out.find("  --info, -?              Show help information.\n"), std::string::npos);
  EXPECT_EQ(execute<Custom>({"child", "--info-hidden"}).status, 0);
  Outcome help = execute<Custom>({"child", "--help"});
  EXPECT_EQ(help.err,
            "Error: Unknown option '--help'\n"
            "Usage: custom child\n"
            "  See 'custom child --info' for more information.\n");
}

}  // namespace
}  // namespace argparse
