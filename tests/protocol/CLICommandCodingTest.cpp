#include <gtest/gtest.h>

#include "protocol/Coding.h"

namespace kestrune {
namespace {

using Kind = json::DecodingError::Kind;
using C = CLICommand;

// A request and its wire form. Built on demand: a table of plain pointers
// keeps the test quick to compile.
struct Example {
  CLICommand (*make)();
  const char* json;
};

// One request of every case, in declaration order.
constexpr Example everyCase[] = {
    {[] { return CLICommand{C::GetVolume{}}; }, R"({"getVolume":{}})"},
    {[] { return CLICommand{C::SetVolume{40}}; }, R"({"setVolume":{"percent":40}})"},
    {[] { return CLICommand{C::StepVolume{VolumeDirection::down}}; },
     R"({"stepVolume":{"direction":"down"}})"},
    {[] { return CLICommand{C::GetMuteState{}}; }, R"({"getMuteState":{}})"},
    {[] { return CLICommand{C::SetMute{MuteAction::toggle}}; },
     R"({"setMute":{"action":"toggle"}})"},
    {[] { return CLICommand{C::GetSilentMode{}}; }, R"({"getSilentMode":{}})"},
    {[] { return CLICommand{C::ToggleSilentMode{}}; }, R"({"toggleSilentMode":{}})"},
    {[] { return CLICommand{C::ListDevices{}}; }, R"({"listDevices":{}})"},
    {[] { return CLICommand{C::GetCurrentDevice{AudioDirection::input}}; },
     R"({"getCurrentDevice":{"direction":"input"}})"},
    {[] {
       return CLICommand{C::SetDevice{"BuiltInSpeakerDevice", AudioDirection::output}};
     },
     R"({"setDevice":{"uid":"BuiltInSpeakerDevice","direction":"output"}})"},
    {[] { return CLICommand{C::CycleDevice{AudioDirection::output}}; },
     R"({"cycleDevice":{"direction":"output"}})"},
    {[] { return CLICommand{C::ListApps{}}; }, R"({"listApps":{}})"},
    {[] { return CLICommand{C::GetAppVolume{"Music"}}; }, R"({"getAppVolume":{"appID":"Music"}})"},
    {[] {
       return CLICommand{C::SetAppVolume{"com.example.player", 150.5}};
     },
     R"({"setAppVolume":{"appID":"com.example.player","percent":150.5}})"},
    {[] {
       return CLICommand{C::SetAppMute{"Music", MuteAction::on}};
     },
     R"({"setAppMute":{"appID":"Music","action":"on"}})"},
    {[] { return CLICommand{C::SoloApp{"Music"}}; }, R"({"soloApp":{"appID":"Music"}})"},
    {[] { return CLICommand{C::GetAppEQ{"Music"}}; }, R"({"getAppEQ":{"appID":"Music"}})"},
    {[] {
       return CLICommand{C::SetAppEQ{"Music", "Bass Boost"}};
     },
     R"({"setAppEQ":{"appID":"Music","preset":"Bass Boost"}})"},
    {[] { return CLICommand{C::GetAppDevice{"Music"}}; }, R"({"getAppDevice":{"appID":"Music"}})"},
    {[] {
       return CLICommand{C::SetAppDevice{"Music", "default"}};
     },
     R"({"setAppDevice":{"appID":"Music","deviceUID":"default"}})"},
    {[] { return CLICommand{C::ListProfiles{}}; }, R"({"listProfiles":{}})"},
    {[] { return CLICommand{C::ApplyProfile{"Work/Home \"A\""}}; },
     R"({"applyProfile":{"name":"Work\/Home \"A\""}})"},
    {[] { return CLICommand{C::MediaPlayPause{}}; }, R"({"mediaPlayPause":{}})"},
    {[] { return CLICommand{C::MediaNext{}}; }, R"({"mediaNext":{}})"},
    {[] { return CLICommand{C::MediaPrevious{}}; }, R"({"mediaPrevious":{}})"},
    {[] { return CLICommand{C::MediaForward{15}}; }, R"({"mediaForward":{"seconds":15}})"},
    {[] { return CLICommand{C::MediaBackward{0.25}}; }, R"({"mediaBackward":{"seconds":0.25}})"},
    {[] { return CLICommand{C::MediaShuffle{}}; }, R"({"mediaShuffle":{}})"},
    {[] { return CLICommand{C::MediaRepeat{}}; }, R"({"mediaRepeat":{}})"},
    {[] { return CLICommand{C::GetMediaVolume{}}; }, R"({"getMediaVolume":{}})"},
    {[] { return CLICommand{C::SetMediaVolume{0}}; }, R"({"setMediaVolume":{"percent":0}})"},
    {[] { return CLICommand{C::GetMediaInfo{}}; }, R"({"getMediaInfo":{}})"},
    {[] { return CLICommand{C::ListBluetooth{}}; }, R"({"listBluetooth":{}})"},
    {[] { return CLICommand{C::TogglePanel{}}; }, R"({"togglePanel":{}})"},
    {[] { return CLICommand{C::GetStatus{}}; }, R"({"getStatus":{}})"},
    {[] { return CLICommand{C::GetVersion{}}; }, R"({"getVersion":{}})"},
    {[] {
       return CLICommand{C::SetOutputMute{MuteAction::on, "alsa_output.usb"}};
     },
     R"({"setOutputMute":{"action":"on","uid":"alsa_output.usb"}})"},
    {[] { return CLICommand{C::ListEQPresets{}}; }, R"({"listEQPresets":{}})"},
};

TEST(CLICommandCoding, EveryCaseEncodesAndDecodesToTheSameBytes) {
  ASSERT_EQ(std::variant_size_v<CLICommand::Case>, std::size(everyCase));
  for (std::size_t i = 0; i < std::size(everyCase); ++i) {
    const Example& example = everyCase[i];
    SCOPED_TRACE(example.json);
    const CLICommand command = example.make();
    EXPECT_EQ(i, command.value.index());
    EXPECT_EQ(example.json, encodeCompact(command));
    const CLICommand decoded = decodeCLICommand(example.json);
    EXPECT_EQ(i, decoded.value.index());
    EXPECT_EQ(command.caseName(), decoded.caseName());
    EXPECT_EQ(example.json, encodeCompact(decoded));
  }
}

TEST(CLICommandCoding, CaseNames) {
  EXPECT_EQ("getVolume", CLICommand{C::GetVolume{}}.caseName());
  EXPECT_EQ("setAppEQ", CLICommand{C::SetAppEQ{}}.caseName());
  EXPECT_EQ("getVersion", CLICommand{C::GetVersion{}}.caseName());
}

TEST(CLICommandCoding, OutputMuteDeviceIsOptional) {
  const CLICommand command = decodeCLICommand(R"({"setOutputMute":{"action":"toggle"}})");
  const auto* mute = std::get_if<C::SetOutputMute>(&command.value);
  ASSERT_NE(nullptr, mute);
  EXPECT_EQ(MuteAction::toggle, mute->action);
  EXPECT_FALSE(mute->uid.has_value());
  EXPECT_EQ(R"({"setOutputMute":{"action":"toggle"}})", encodeCompact(command));
}

TEST(CLICommandCoding, ListDevicesDirectionIsOptional) {
  const CLICommand withDirection{C::ListDevices{AudioDirection::input}};
  EXPECT_EQ(R"({"listDevices":{"direction":"input"}})", encodeCompact(withDirection));
  for (const char* text : {R"({"listDevices":{}})", R"({"listDevices":{"direction":null}})"}) {
    SCOPED_TRACE(text);
    const CLICommand decoded = decodeCLICommand(text);
    ASSERT_TRUE(std::holds_alternative<C::ListDevices>(decoded.value));
    EXPECT_FALSE(std::get<C::ListDevices>(decoded.value).direction);
  }
  const CLICommand input = decodeCLICommand(R"({"listDevices":{"direction":"input"}})");
  EXPECT_EQ(AudioDirection::input, std::get<C::ListDevices>(input.value).direction);
}

TEST(CLICommandCoding, UnknownMembersAreIgnored) {
  EXPECT_EQ("getVolume", decodeCLICommand(R"({"getVolume":{"extra":[1,2]}})").caseName());
  EXPECT_EQ("getStatus",
            decodeCLICommand(R"({"other":1,"getStatus":{},"GetVolume":{}})").caseName());
  const CLICommand set = decodeCLICommand(R"({"setVolume":{"percent":12,"unit":"%"}})");
  EXPECT_EQ(12.0, std::get<C::SetVolume>(set.value).percent);
}

json::DecodingError commandError(std::string_view text) {
  try {
    decodeCLICommand(text);
  } catch (const json::DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "decoded: " << text;
  return json::DecodingError(Kind::dataCorrupted, {}, "none");
}

TEST(CLICommandCoding, ExactlyOneCaseName) {
  for (const char* text : {"{}", R"({"getVolume":{},"getStatus":{}})", R"({"volume":{}})"}) {
    SCOPED_TRACE(text);
    const auto error = commandError(text);
    EXPECT_EQ(Kind::typeMismatch, error.kind());
    EXPECT_EQ("Invalid number of keys found, expected one.", error.debugDescription());
    EXPECT_TRUE(error.codingPath().empty());
    EXPECT_EQ("Invalid number of keys found, expected one. at (root)", error.description());
  }
}

TEST(CLICommandCoding, MalformedRequestsFailWithWhereAndWhy) {
  EXPECT_EQ("Expected to decode Object but found null at (root).getVolume",
            commandError(R"({"getVolume":null})").description());
  EXPECT_EQ(Kind::typeMismatch, commandError(R"({"getVolume":true})").kind());
  EXPECT_EQ("Expected to decode CLICommand but found an array at (root)",
            commandError("[]").description());

  const auto missing = commandError(R"({"setAppVolume":{"appID":"Music"}})");
  EXPECT_EQ(Kind::keyNotFound, missing.kind());
  EXPECT_EQ("No value for key \"percent\" at (root).setAppVolume", missing.description());

  const auto wrongCase = commandError(R"({"setMute":{"action":"Toggle"}})");
  EXPECT_EQ(Kind::dataCorrupted, wrongCase.kind());
  EXPECT_EQ(
      "Cannot initialize MuteAction from invalid String value \"Toggle\" at (root).setMute.action",
      wrongCase.description());

  EXPECT_EQ("Expected to decode Double but found a string at (root).setVolume.percent",
            commandError(R"({"setVolume":{"percent":"40"}})").description());
  EXPECT_EQ("Expected to decode String but found a number at (root).soloApp.appID",
            commandError(R"({"soloApp":{"appID":7}})").description());

  const auto syntax = commandError(R"({"getVolume":{})");
  EXPECT_EQ(Kind::dataCorrupted, syntax.kind());
  EXPECT_EQ("The data is not valid JSON: unexpected end of input at byte 16", syntax.description());
}

TEST(CLICommandCoding, EnumerationStrings) {
  EXPECT_EQ("up", rawValue(VolumeDirection::up));
  EXPECT_EQ("toggle", rawValue(MuteAction::toggle));
  EXPECT_EQ("input", rawValue(AudioDirection::input));
  EXPECT_EQ(MuteAction::off, muteActionFromRaw("off"));
  EXPECT_EQ(std::nullopt, muteActionFromRaw("Off"));
  EXPECT_EQ(VolumeDirection::down, volumeDirectionFromRaw("down"));
  EXPECT_EQ(std::nullopt, volumeDirectionFromRaw(""));
  EXPECT_EQ(AudioDirection::output, audioDirectionFromRaw("output"));
  EXPECT_EQ(std::nullopt, audioDirectionFromRaw("outputs"));
}

TEST(CLICommandCoding, NonFiniteNumbersAreNotEncoded) {
  EXPECT_THROW(encodeCompact(CLICommand{C::SetVolume{std::numeric_limits<double>::infinity()}}),
               json::EncodingError);
}

}  // namespace
}  // namespace kestrune
