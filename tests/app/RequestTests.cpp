// The request each command line builds, checked without a server.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "ArgumentParser/ArgumentParser.h"
#include "app/KestruneCLI.h"
#include "app/RunRequest.h"
#include "protocol/Coding.h"

namespace kestrune {
namespace {

struct RequestCase {
  std::vector<std::string> arguments;
  std::string request;  // compact JSON
};

// The parsed leaf command, seen as a request command when it is one.
struct ParsedLeaf {
  std::unique_ptr<argparse::ParsableCommand> command;

  RequestCommand* get() const { return dynamic_cast<RequestCommand*>(command.get()); }
  RequestCommand* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }
};

ParsedLeaf parseLeaf(const std::vector<std::string>& arguments) {
  return {argparse::parseAsRoot<KestruneCLI>(arguments)};
}

std::string requestFor(const std::vector<std::string>& arguments) {
  auto leaf = parseLeaf(arguments);
  return leaf ? encodeCompact(leaf->request()) : "(not a request command)";
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words) {
    text += (text.empty() ? "" : " ") + word;
  }
  return text;
}

void expectRequests(const std::vector<RequestCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(requestFor(c.arguments), c.request) << joined(c.arguments);
  }
}

TEST(RequestTest, VolumeMuteAndSilentModeCommands) {
  expectRequests({
      {{"volume"}, R"({"getVolume":{}})"},
      {{"volume", "get"}, R"({"getVolume":{}})"},
      {{"volume", "set", "0"}, R"({"setVolume":{"percent":0}})"},
      {{"volume", "set", "100"}, R"({"setVolume":{"percent":100}})"},
      {{"volume", "set", "42.5", "--json"}, R"({"setVolume":{"percent":42.5}})"},
      {{"volume", "up"}, R"({"stepVolume":{"direction":"up"}})"},
      {{"volume", "down"}, R"({"stepVolume":{"direction":"down"}})"},
      {{"mute"}, R"({"getMuteState":{}})"},
      {{"mute", "get"}, R"({"getMuteState":{}})"},
      {{"mute", "on"}, R"({"setMute":{"action":"on"}})"},
      {{"mute", "off"}, R"({"setMute":{"action":"off"}})"},
      {{"mute", "toggle"}, R"({"setMute":{"action":"toggle"}})"},
      {{"silent-mode"}, R"({"getSilentMode":{}})"},
      {{"silent-mode", "get"}, R"({"getSilentMode":{}})"},
      {{"silent-mode", "toggle"}, R"({"toggleSilentMode":{}})"},
  });
}

TEST(RequestTest, DeviceCommandsDefaultToOutput) {
  expectRequests({
      {{"device", "list"}, R"({"listDevices":{}})"},
      {{"device", "list", "-d", "output"}, R"({"listDevices":{"direction":"output"}})"},
      {{"device", "list", "--direction", "input"}, R"({"listDevices":{"direction":"input"}})"},
      {{"device", "current"}, R"({"getCurrentDevice":{"direction":"output"}})"},
      {{"device", "current", "input"}, R"({"getCurrentDevice":{"direction":"input"}})"},
      {{"device", "set", "U 1"}, R"({"setDevice":{"uid":"U 1","direction":"output"}})"},
      {{"device", "set", "U", "-d", "input"}, R"({"setDevice":{"uid":"U","direction":"input"}})"},
      {{"device", "set", "--direction", "input", "U"},
       R"({"setDevice":{"uid":"U","direction":"input"}})"},
      {{"device", "cycle"}, R"({"cycleDevice":{"direction":"output"}})"},
      {{"device", "cycle", "input"}, R"({"cycleDevice":{"direction":"input"}})"},
  });
}

TEST(RequestTest, AppCommandsPassNamesUnchanged) {
  expectRequests({
      {{"app", "list"}, R"({"listApps":{}})"},
      {{"app", "volume", "Music"}, R"({"getAppVolume":{"appID":"Music"}})"},
      {{"app", "volume", "Music", "150"}, R"({"setAppVolume":{"appID":"Music","percent":150}})"},
      {{"app", "volume", "Music", "200"}, R"({"setAppVolume":{"appID":"Music","percent":200}})"},
      {{"app", "volume", "Music", "0.5"}, R"({"setAppVolume":{"appID":"Music","percent":0.5}})"},
      {{"app", "mute", "Music"}, R"({"setAppMute":{"appID":"Music","action":"toggle"}})"},
      {{"app", "mute", "Music", "off"}, R"({"setAppMute":{"appID":"Music","action":"off"}})"},
      {{"app", "mute", "Music", "on"}, R"({"setAppMute":{"appID":"Music","action":"on"}})"},
      {{"app", "solo", "Google Chrome"}, R"({"soloApp":{"appID":"Google Chrome"}})"},
      {{"app", "eq", "get", "Music"}, R"({"getAppEQ":{"appID":"Music"}})"},
      {{"app", "eq", "set", "Music", "bassBoost"},
       R"({"setAppEQ":{"appID":"Music","preset":"bassBoost"}})"},
      {{"app", "device", "get", "com.example.Music"},
       R"({"getAppDevice":{"appID":"com.example.Music"}})"},
      {{"app", "device", "set", "Music", "default"},
       R"({"setAppDevice":{"appID":"Music","deviceUID":"default"}})"},
  });
}

TEST(RequestTest, MediaCommands) {
  expectRequests({
      {{"media", "play-pause"}, R"({"mediaPlayPause":{}})"},
      {{"media", "next"}, R"({"mediaNext":{}})"},
      {{"media", "previous"}, R"({"mediaPrevious":{}})"},
      {{"media", "forward"}, R"({"mediaForward":{"seconds":15}})"},
      {{"media", "forward", "0"}, R"({"mediaForward":{"seconds":0}})"},
      {{"media", "forward", "--", "-10"}, R"({"mediaForward":{"seconds":-10}})"},
      {{"media", "backward", "30"}, R"({"mediaBackward":{"seconds":30}})"},
      {{"media", "backward"}, R"({"mediaBackward":{"seconds":15}})"},
      {{"media", "shuffle"}, R"({"mediaShuffle":{}})"},
      {{"media", "repeat"}, R"({"mediaRepeat":{}})"},
      {{"media", "volume"}, R"({"getMediaVolume":{}})"},
      {{"media", "volume", "100"}, R"({"setMediaVolume":{"percent":100}})"},
      {{"media", "info"}, R"({"getMediaInfo":{}})"},
  });
}

TEST(RequestTest, ProfileBluetoothPanelStatusAndVersionCommands) {
  expectRequests({
      {{"profile", "list"}, R"({"listProfiles":{}})"},
      {{"profile", "apply", "Home Office"}, R"({"applyProfile":{"name":"Home Office"}})"},
      {{"bluetooth"}, R"({"listBluetooth":{}})"},
      {{"bluetooth", "list"}, R"({"listBluetooth":{}})"},
      {{"panel"}, R"({"togglePanel":{}})"},
      {{"panel", "toggle"}, R"({"togglePanel":{}})"},
      {{"status"}, R"({"getStatus":{}})"},
      {{"version", "--json"}, R"({"getVersion":{}})"},
  });
}

TEST(RequestTest, GlobalOptionsAreReadFromAnyPosition) {
  auto leaf = parseLeaf({"device", "set", "--json", "U", "--socket", "/tmp/a", "--socket", "/b"});
  ASSERT_TRUE(leaf);
  EXPECT_TRUE(leaf->globalOptions().json);
  EXPECT_EQ(leaf->globalOptions().socket.get(), std::optional<std::string>("/b"));
  leaf = parseLeaf({"status"});
  ASSERT_TRUE(leaf);
  EXPECT_FALSE(leaf->globalOptions().json);
  EXPECT_EQ(leaf->globalOptions().socket.get(), std::nullopt);
  leaf = parseLeaf({"status", "--socket", ""});
  ASSERT_TRUE(leaf);
  EXPECT_EQ(leaf->globalOptions().socket.get(), std::optional<std::string>(""));
}

// The command's own range check: its message on stderr, status 64, no request.
void expectRefused(const std::vector<std::string>& arguments, const std::string& message) {
  auto leaf = parseLeaf(arguments);
  ASSERT_TRUE(leaf) << joined(arguments);
  ::testing::internal::CaptureStderr();
  try {
    (void)leaf->request();
    ADD_FAILURE() << "no refusal for " << joined(arguments);
  } catch (const argparse::ExitCode& code) {
    EXPECT_EQ(code, argparse::ExitCode::validationFailure);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: " + message + "\n")
      << joined(arguments);
}

TEST(RequestTest, RefusesLevelsOutOfRange) {
  const std::string system = "Volume must be between 0 and 100.";
  const std::string app = "Volume must be between 0 and 200.";
  expectRefused({"volume", "set", "100.5"}, system);
  expectRefused({"volume", "set", "nan"}, system);
  expectRefused({"app", "volume", "Music", "inf"}, app);
  expectRefused({"volume", "set", "--", "-5"}, system);
  expectRefused({"media", "volume", "101"}, system);
  expectRefused({"media", "volume", "--", "-0.1"}, system);
  expectRefused({"app", "volume", "Music", "200.5"}, app);
  expectRefused({"app", "volume", "Music", "--", "-1"}, app);
}

TEST(RequestTest, RangeCheckRefusesNaN) {
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(
      requireLevelInRange(std::numeric_limits<double>::quiet_NaN(), 100, kSystemVolumeRangeMessage),
      argparse::ExitCode);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Volume must be between 0 and 100.\n");
  EXPECT_NO_THROW(requireLevelInRange(-0.0, 100, kSystemVolumeRangeMessage));
}

TEST(RequestTest, GroupsWithoutADefaultAreNotRequests) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"device"}, {"app"}, {"app", "eq"}, {"app", "device"}, {"media"}, {"profile"}}) {
    auto parsed = argparse::parseAsRoot<KestruneCLI>(arguments);
    EXPECT_EQ(dynamic_cast<RequestCommand*>(parsed.get()), nullptr) << joined(arguments);
  }
}

}  // namespace
}  // namespace kestrune
