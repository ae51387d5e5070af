#include "ArgumentParser/HelpDump.h"

#include <gtest/gtest.h>

#include "ArgumentParser/ArgumentParser.h"
#include "TestCommands.h"

namespace argparse {
namespace {

struct Mini : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = "mini", .abstract = "Tiny", .subcommands = {command<Leaf>()}};
  }
  struct Leaf : ParsableCommand {
    static CommandConfiguration configuration() { return {.aliases = {"l"}}; }
    Argument<std::string> name{
        this, "name", {.help = {"A name."}, .completion = CompletionKind::file({"txt"})}};
    Option<std::optional<std::string>> secret{
        this,
        "secret",
        {.name = {NameSpecification::shortName(), NameSpecification::longName()},
         .help = {.abstract = "Hidden.", .visibility = ArgumentVisibility::hidden}}};
  };
};

TEST(HelpDump, DescribesTheTreeWithTheHelpCommandAppended) {
  CommandTree tree(command<Mini>());
  EXPECT_EQ(dumpHelp(CommandStack{&tree.root()}), R"({
  "command" : {
    "abstract" : "Tiny",
    "arguments" : [
      {
        "abstract" : "Show help information.",
        "isOptional" : true,
        "isRepeating" : false,
        "kind" : "flag",
        "names" : [
          {
            "kind" : "short",
            "name" : "h"
          },
          {
            "kind" : "long",
            "name" : "help"
          }
        ],
        "parsingStrategy" : "default",
        "preferredName" : {
          "kind" : "long",
          "name" : "help"
        },
        "shouldDisplay" : true,
        "valueName" : "help"
      }
    ],
    "commandName" : "mini",
    "shouldDisplay" : true,
    "subcommands" : [
      {
        "aliases" : [
          "l"
        ],
        "arguments" : [
          {
            "abstract" : "A name.",
            "completionKind" : {
              "file" : {
                "extensions" : [
                  "txt"
                ]
              }
            },
            "isOptional" : false,
            "isRepeating" : false,
            "kind" : "positional",
            "parsingStrategy" : "default",
            "shouldDisplay" : true,
            "valueName" : "name"
          },
          {
            "abstract" : "Hidden.",
            "isOptional" : true,
            "isRepeating" : false,
            "kind" : "option",
            "names" : [
              {
                "kind" : "short",
                "name" : "s"
              },
              {
                "kind" : "long",
                "name" : "secret"
              }
            ],
            "parsingStrategy" : "default",
            "preferredName" : {
              "kind" : "long",
              "name" : "secret"
            },
            "shouldDisplay" : false,
            "valueName" : "secret"
          },
          {
            "abstract" : "Show help information.",
            "isOptional" : true,
            "isRepeating" : false,
            "kind" : "flag",
            "names" : [
              {
                "kind" : "short",
                "name" : "h"
              },
              {
                "kind" : "long",
                "name" : "help"
              }
            ],
            "parsingStrategy" : "default",
            "preferredName" : {
              "kind" : "long",
              "name" : "help"
            },
            "shouldDisplay" : true,
            "valueName" : "help"
          }
        ],
        "commandName" : "leaf",
        "shouldDisplay" : true,
        "superCommands" : [
          "mini"
        ]
      },
      {
        "abstract" : "Show subcommand help information.",
        "arguments" : [
          {
            "isOptional" : true,
            "isRepeating" : true,
            "kind" : "positional",
            "parsingStrategy" : "default",
            "shouldDisplay" : true,
            "valueName" : "subcommands"
          },
          {
            "abstract" : "Show help information.",
            "isOptional" : true,
            "isRepeating" : false,
            "kind" : "flag",
            "names" : [
              {
                "kind" : "short",
                "name" : "h"
              },
              {
                "kind" : "long",
                "name" : "help"
              }
            ],
            "parsingStrategy" : "default",
            "preferredName" : {
              "kind" : "long",
              "name" : "help"
            },
            "shouldDisplay" : true,
            "valueName" : "help"
          }
        ],
        "commandName" : "help",
        "shouldDisplay" : true,
        "superCommands" : [
          "mini"
        ]
      }
    ]
  },
  "serializationVersion" : 0
})");
}

TEST(HelpDump, StartsAtTheRequestedCommand) {
  ::setenv("COLUMNS", "80", 1);
  ::setenv("LINES", "25", 1);
  Outcome outcome = execute<testtool::Tool>({"level", "--experimental-dump-help"});
  EXPECT_EQ(outcome.status, 0);
  ToolInfoV0 info = parseToolInfoV0(outcome.out);
  EXPECT_EQ(info.command.commandName, "level");
  EXPECT_EQ(info.command.superCommands, std::vector<std::string>{"tool"});
  EXPECT_EQ(info.command.defaultSubcommand, "get");
  ASSERT_TRUE(info.command.subcommands.has_value());
  ASSERT_EQ(info.command.subcommands->size(), 3u);
  EXPECT_EQ(info.command.subcommands->back().commandName, "help");
  const CommandInfoV0& set = (*info.command.subcommands)[1];
  EXPECT_EQ(set.superCommands, (std::vector<std::string>{"tool", "level"}));
  ASSERT_TRUE(set.arguments.has_value());
  const ArgumentInfoV0& side = (*set.arguments)[1];
  EXPECT_EQ(side.defaultValue, "right");
  EXPECT_EQ(side.allValues, (std::vector<std::string>{"left", "right"}));
  ASSERT_TRUE(side.completionKind.has_value());
  EXPECT_EQ(side.completionKind->value,
            CompletionKindV0::Value(CompletionKindV0::List{{"left", "right"}}));
  const ArgumentInfoV0& retries = (*set.arguments)[4];
  EXPECT_EQ(retries.sectionTitle, "Tuning");
  EXPECT_EQ(set.arguments->at(set.arguments->size() - 2).abstract, "Show the version.");
}

}  // namespace
}  // namespace argparse
