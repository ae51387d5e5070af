#include "ArgumentParser/Naming.h"

#include <gtest/gtest.h>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/Tree.h"
#include "TestCommands.h"

namespace argparse {
namespace {

TEST(ConvertCamelCase, SplitsWordsAndKeepsAcronymsTogether) {
  EXPECT_EQ(convertCamelCase("deviceUID"), "device-uid");
  EXPECT_EQ(convertCamelCase("socketPath"), "socket-path");
  EXPECT_EQ(convertCamelCase("URLSession"), "url-session");
  EXPECT_EQ(convertCamelCase("json"), "json");
  EXPECT_EQ(convertCamelCase("PlayPause"), "play-pause");
  EXPECT_EQ(convertCamelCase("SilentModeCommand"), "silent-mode-command");
  EXPECT_EQ(convertCamelCase("appID"), "app-id");
  EXPECT_EQ(convertCamelCase(""), "");
  EXPECT_EQ(convertCamelCase("MyOptions", '_'), "my_options");
  EXPECT_EQ(convertCamelCase("already-split"), "already-split");
}

TEST(EditDistance, CountsInsertionsDeletionsAndSubstitutions) {
  EXPECT_EQ(editDistance("--jsn", "--json"), 1u);
  EXPECT_EQ(editDistance("", "abc"), 3u);
  EXPECT_EQ(editDistance("abc", ""), 3u);
  EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
  EXPECT_EQ(editDistance("same", "same"), 0u);
}

TEST(CommandNames, DeriveFromTheUnqualifiedTypeNameUnlessConfigured) {
  EXPECT_EQ(command<testtool::LevelCommand::Get>()->typeName, "Get");
  EXPECT_EQ(commandName(command<testtool::LevelCommand::Get>()), "get");
  EXPECT_EQ(commandName(command<testtool::Files>()), "files");
  EXPECT_EQ(commandName(command<testtool::LevelCommand>()), "level");
}

TEST(NameSpecification, MakesNamesFromThePropertyName) {
  NameSpecification spec{NameSpecification::shortName(), NameSpecification::longName(),
                         NameSpecification::customLong("dev", true),
                         NameSpecification::customShort('X', true)};
  auto names = spec.makeNames("_deviceUID");
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0].synopsis(), "-d");
  EXPECT_EQ(names[1].synopsis(), "--device-uid");
  EXPECT_EQ(names[2].synopsis(), "-dev");
  EXPECT_EQ(names[2].kind, Name::Kind::longWithSingleDash);
  EXPECT_EQ(names[3].synopsis(), "-X");
  EXPECT_TRUE(names[3].allowingJoined);
}

TEST(NameSpecificationDeathTest, ShortNameOfAnEmptyPropertyIsFatal) {
  NameSpecification spec{NameSpecification::shortName()};
  EXPECT_DEATH(spec.makeNames(""), "Key '' has not characters to form short option name.");
}

TEST(DeclaredArgumentsDeathTest, ReadingAnUnparsedValueIsFatal) {
  EXPECT_DEATH(
      {
        testtool::LevelCommand::Set set;
        (void)set.level.get();
      },
      "Can't read a value from a parsable\u00A0argument definition.");
}

}  // namespace
}  // namespace argparse
