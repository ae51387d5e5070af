#include "ArgumentParser/ToolInfo.h"

#include <gtest/gtest.h>

#include "CompletionsTestTree.h"
#include "json/Decoder.h"
#include "json/Value.h"

namespace argparse {
namespace {

using testing::sampleDump;

TEST(ToolInfoTest, DumpRoundTripsThroughItsText) {
  ToolInfoV0 dump = sampleDump();
  dump.command.discussion = "Line one\nline two";
  dump.command.aliases = std::vector<std::string>{"k"};
  (*dump.command.subcommands)[0].superCommands = std::vector<std::string>{"kestrune"};
  ArgumentInfoV0& level = (*(*dump.command.subcommands)[0].subcommands)[1].arguments->front();
  level.defaultValue = "50";
  level.sectionTitle = "Level";
  level.allValues = std::vector<std::string>{"0", "100"};
  level.allValueDescriptions = std::map<std::string, std::string>{{"0", "Silent"}, {"100", "Loud"}};
  level.discussion = "More";

  EXPECT_EQ(parseToolInfoV0(encodeDump(dump)), dump);
}

TEST(ToolInfoTest, AbsentOptionalKeysAreLeftOut) {
  ArgumentInfoV0 argument;
  EXPECT_EQ(json::writeCompact(toJSON(argument)),
            R"({"kind":"positional","shouldDisplay":true,"isOptional":false,"isRepeating":false,)"
            R"("parsingStrategy":"default"})");
  CommandInfoV0 command;
  command.commandName = "get";
  EXPECT_EQ(json::writeCompact(toJSON(command)), R"({"shouldDisplay":true,"commandName":"get"})");
}

TEST(ToolInfoTest, DumpIsPrettyWithSortedKeys) {
  ToolInfoV0 dump;
  dump.command.commandName = "tool";
  dump.command.arguments =
      std::vector<ArgumentInfoV0>{testing::flag({testing::shortName("v")}, "Verbose")};
  EXPECT_EQ(encodeDump(dump),
            "{\n"
            "  \"command\" : {\n"
            "    \"arguments\" : [\n"
            "      {\n"
            "        \"abstract\" : \"Verbose\",\n"
            "        \"isOptional\" : true,\n"
            "        \"isRepeating\" : false,\n"
            "        \"kind\" : \"flag\",\n"
            "        \"names\" : [\n"
            "          {\n"
            "            \"kind\" : \"short\",\n"
            "            \"name\" : \"v\"\n"
            "          }\n"
            "        ],\n"
            "        \"parsingStrategy\" : \"default\",\n"
            "        \"preferredName\" : {\n"
            "          \"kind\" : \"short\",\n"
            "          \"name\" : \"v\"\n"
            "        },\n"
            "        \"shouldDisplay\" : true\n"
            "      }\n"
            "    ],\n"
            "    \"commandName\" : \"tool\",\n"
            "    \"shouldDisplay\" : true\n"
            "  },\n"
            "  \"serializationVersion\" : 0\n"
            "}");
}

TEST(ToolInfoTest, CompletionKindsAreOneKeyObjects) {
  struct Case {
    CompletionKindV0 kind;
    const char* json;
  };
  const Case cases[] = {
      {{CompletionKindV0::List{{"on", "off"}}}, R"({"list":{"values":["on","off"]}})"},
      {{CompletionKindV0::File{{"json"}}}, R"({"file":{"extensions":["json"]}})"},
      {{CompletionKindV0::Directory{}}, R"({"directory":{}})"},
      {{CompletionKindV0::ShellCommand{"ls"}}, R"({"shellCommand":{"command":"ls"}})"},
      {{CompletionKindV0::Custom{}}, R"({"custom":{}})"},
      {{CompletionKindV0::CustomAsync{}}, R"({"customAsync":{}})"},
      {{CompletionKindV0::CustomDeprecated{}}, R"({"customDeprecated":{}})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(json::writeCompact(toJSON(c.kind)), c.json);
    EXPECT_EQ(decodeCompletionKindV0(json::parse(c.json)), c.kind);
  }
}

TEST(ToolInfoTest, CompletionKindWithOtherThanOneKeyIsRejected) {
  for (const char* text : {R"({})", R"({"directory":{},"custom":{}})"}) {
    SCOPED_TRACE(text);
    json::Value value =
        json::parse(R"({"kind":"option","shouldDisplay":true,"isOptional":true,)"
                    R"("isRepeating":false,"parsingStrategy":"default","completionKind":)" +
                    std::string(text) + "}");
    try {
      decodeArgumentInfoV0(value);
      FAIL() << "decoded";
    } catch (const json::DecodingError& error) {
      EXPECT_EQ(error.debugDescription(), "Invalid number of keys found, expected one.");
      EXPECT_EQ(json::pathText(error.codingPath()), "(root).completionKind");
    }
  }
}

TEST(ToolInfoTest, DecodingErrorsSayWhere) {
  try {
    parseToolInfoV0(
        R"({"serializationVersion":0,"command":{"shouldDisplay":true,"commandName":"x",)"
        R"("arguments":[{"kind":"switch","shouldDisplay":true,"isOptional":true,)"
        R"("isRepeating":false,"parsingStrategy":"default"}]}})");
    FAIL() << "decoded";
  } catch (const json::DecodingError& error) {
    EXPECT_EQ(error.kind(), json::DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(json::pathText(error.codingPath()), "(root).command.arguments[0].kind");
  }
  EXPECT_THROW(parseToolInfoV0(R"({"serializationVersion":0})"), json::DecodingError);
  EXPECT_THROW(parseToolInfoV0("{"), json::DecodingError);
}

TEST(ToolInfoTest, HeaderReadsOnlyTheVersion) {
  EXPECT_EQ(parseToolInfoHeader(encodeDump(sampleDump())).serializationVersion, 0);
  EXPECT_EQ(parseToolInfoHeader(R"({"serializationVersion":3,"command":"anything"})")
                .serializationVersion,
            3);
}

TEST(ToolInfoTest, NullOptionalMembersReadAsAbsent) {
  CommandInfoV0 command = decodeCommandInfoV0(json::parse(
      R"({"shouldDisplay":false,"commandName":"x","abstract":null,"subcommands":null})"));
  EXPECT_FALSE(command.shouldDisplay);
  EXPECT_FALSE(command.abstract);
  EXPECT_FALSE(command.subcommands);
}

}  // namespace
}  // namespace argparse
