#include "sim/StateFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "server/support/ServerTestSupport.h"
#include "json/Decoder.h"
#include "platform/TestSupport.h"
#include "sim/SimError.h"
#include "sim/SimulatedState.h"

namespace kestrune::sim {
namespace {

using server::testing::payload;
using testing_support::TemporaryDirectory;

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  ASSERT_TRUE(out.good());
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string stateFileError(const std::string& path) {
  try {
    readStateFile(path);
  } catch (const SimError& error) {
    EXPECT_EQ(error.kind(), SimError::Kind::stateFile);
    return error.description();
  }
  return "(no error)";
}

TEST(StateFileTest, RoundTripsEveryPartOfTheState) {
  StateModel state = defaultState();
  state.silentMode = true;
  state.apps[0].eqPreset.reset();
  state.apps[1].deviceUID = "VirtualMixBus";
  state.media.repeat = RepeatMode::one;
  state.media.shuffle = true;
  state.media.current = 2;
  state.media.position = 12.5;
  const std::string once = json::writeCompact(stateToJSON(state));
  const std::string twice = json::writeCompact(stateToJSON(stateFromJSON(json::parse(once))));
  EXPECT_EQ(once, twice);
  EXPECT_NE(once.find("\"name\":\"Café Radio\""), std::string::npos);
}

TEST(StateFileTest, AMissingFileIsNoStateAndAWrittenOneReadsBack) {
  TemporaryDirectory directory;
  const std::string path = directory / "state.json";
  EXPECT_FALSE(readStateFile(path).has_value());
  StateModel state = defaultState();
  state.devices[0].volume = 12;
  writeStateFile(path, state);
  const auto loaded = readStateFile(path);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->devices[0].volume, 12);
  EXPECT_EQ(readText(path).back(), '\n');
}

TEST(StateFileTest, UnusableFilesAreRefusedNamingWhereTheProblemIs) {
  TemporaryDirectory directory;
  const std::string path = directory / "state.json";

  writeText(path, "{\"format\": 1,");
  EXPECT_EQ(stateFileError(path).rfind("The state file \"" + path + "\" is not valid JSON: ", 0),
            0U);

  auto withApp = [](const std::string& key, json::Value value) {
    json::Value state = stateToJSON(defaultState());
    state.asObject().find("apps")->asArray()[1].asObject().set(key, std::move(value));
    return json::writeCompact(state);
  };
  writeText(path, withApp("volume", 300));
  EXPECT_NE(stateFileError(path).find("(root).apps[1].volume"), std::string::npos)
      << stateFileError(path);
  writeText(path, withApp("deviceUID", "BuiltInMicrophoneDevice"));
  EXPECT_NE(stateFileError(path).find("No output device has the UID \"BuiltInMicrophoneDevice\""),
            std::string::npos)
      << stateFileError(path);
  json::Value badRoute = stateToJSON(defaultState());
  badRoute.asObject()
      .find("profiles")
      ->asArray()[1]
      .asObject()
      .find("entries")
      ->asArray()[0]
      .asObject()
      .set("deviceUID", "Nowhere");
  writeText(path, json::writeCompact(badRoute));
  EXPECT_NE(stateFileError(path).find("(root).profiles[1].entries[0].deviceUID"), std::string::npos)
      << stateFileError(path);
  writeText(path, withApp("eqPreset", "disco"));
  EXPECT_NE(stateFileError(path).find("(root).apps[1].eqPreset"), std::string::npos);

  json::Value state = stateToJSON(defaultState());
  state.asObject().set("format", 2);
  writeText(path, json::writeCompact(state));
  EXPECT_NE(stateFileError(path).find("Unsupported state file format"), std::string::npos);
}

TEST(StateFileTest, EveryChangeIsSavedAndSurvivesARestart) {
  TemporaryDirectory directory;
  const std::string path = directory / "state.json";
  {
    SimulatedState state(defaultState(), SimulatedState::Options{path, {}});
    ASSERT_TRUE(state.handle(CLICommand{CLICommand::SetVolume{40}}).success);
    ASSERT_TRUE(state.handle(CLICommand{CLICommand::SetAppEQ{"Music", "jazz"}}).success);
  }
  const auto loaded = readStateFile(path);
  ASSERT_TRUE(loaded.has_value());
  SimulatedState restarted(*loaded);
  const CLIResponse volume = restarted.handle(CLICommand{CLICommand::GetVolume{}});
  EXPECT_EQ(payload<CLIResponseData::Volume>(volume).value, 40);
  const CLIResponse eq = restarted.handle(CLICommand{CLICommand::GetAppEQ{"Music"}});
  EXPECT_EQ(payload<CLIResponseData::Eq>(eq).value.preset, "jazz");
}

TEST(StateFileTest, AChangeThatCannotBeSavedIsNotMade) {
  TemporaryDirectory directory;
  // A directory where the file should be: no write can replace it, even as root.
  const std::string path = directory / "state.json";
  ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
  SimulatedState state(defaultState(), SimulatedState::Options{path, {}});
  const CLIResponse response = state.handle(CLICommand{CLICommand::SetVolume{40}});
  EXPECT_FALSE(response.success);
  EXPECT_EQ(response.error.value_or("").rfind("The change was not made: ", 0), 0U)
      << response.error.value_or("");
  EXPECT_EQ(state.snapshot().devices[0].volume, 50);
  // Reading requests do not touch the file and keep working.
  EXPECT_TRUE(state.handle(CLICommand{CLICommand::GetVolume{}}).success);
}

}  // namespace
}  // namespace kestrune::sim
