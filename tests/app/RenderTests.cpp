#include "app/Render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kestrune {
namespace {

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override { jsonOutput = false; }
  void TearDown() override { jsonOutput = false; }

  std::string data(CLIResponseData::Case payload, const std::optional<std::string>& message = {}) {
    return dataText(CLIResponseData{std::move(payload)}, message);
  }

  // What printing the response writes: {stdout, stderr}.
  std::pair<std::string, std::string> response(const CLIResponse& r) {
    ResponseText text = responseText(r);
    return {std::move(text.out), std::move(text.err)};
  }
};

CLIResponse success(CLIResponseData::Case payload) {
  CLIResponse r;
  r.success = true;
  r.data = CLIResponseData{std::move(payload)};
  return r;
}

TEST(WholeNumberTest, TruncatesTowardZero) {
  EXPECT_EQ(wholeNumber(42.9), "42");
  EXPECT_EQ(wholeNumber(-0.5), "0");
  EXPECT_EQ(wholeNumber(-0.0), "0");
  EXPECT_EQ(wholeNumber(-20.7), "-20");
  EXPECT_EQ(percentage(49.99), "49%");
  EXPECT_EQ(percentage(-20.7), "-20%");
}

TEST(WholeNumberTest, HandlesValuesBeyondTheIntegerRangeWithoutUndefinedBehaviour) {
  EXPECT_EQ(wholeNumber(-9223372036854775808.0), "-9223372036854775808");
  EXPECT_EQ(wholeNumber(9223372036854775808.0), "9223372036854775808");
  EXPECT_EQ(wholeNumber(1e20), "100000000000000000000");
  EXPECT_EQ(wholeNumber(-1e20), "-100000000000000000000");
  EXPECT_EQ(wholeNumber(std::numeric_limits<double>::max()).size(), 309u);
  EXPECT_EQ(wholeNumber(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(wholeNumber(-std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(wholeNumber(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(percentage(-std::numeric_limits<double>::infinity()), "-inf%");
}

TEST(FormatTimeTest, PrintsMinutesAndTwoDigitSeconds) {
  EXPECT_EQ(formatTime(125.7), "2:05");
  EXPECT_EQ(formatTime(59), "0:59");
  EXPECT_EQ(formatTime(3600), "60:00");
  EXPECT_EQ(formatTime(0.99), "0:00");
  EXPECT_EQ(formatTime(-65), "-1:05");
  EXPECT_EQ(formatTime(-5.5), "-0:05");
  EXPECT_EQ(formatTime(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(formatTime(1e300).substr(0, 4), "1000");
}

TEST_F(RenderTest, PrintsOneLineAnswers) {
  EXPECT_EQ(data(CLIResponseData::Volume{42}), "42%\n");
  EXPECT_EQ(data(CLIResponseData::Volume{49.99}), "49%\n");
  EXPECT_EQ(data(CLIResponseData::Muted{true}), "Muted\n");
  EXPECT_EQ(data(CLIResponseData::Muted{false}), "Unmuted\n");
  EXPECT_EQ(data(CLIResponseData::SilentMode{true}), "Silent mode: on\n");
  EXPECT_EQ(data(CLIResponseData::SilentMode{false}), "Silent mode: off\n");
  EXPECT_EQ(data(CLIResponseData::Text{"hello"}), "hello\n");
  EXPECT_EQ(data(CLIResponseData::Bool{true}), "true\n");
  EXPECT_EQ(data(CLIResponseData::Bool{false}), "false\n");
  EXPECT_EQ(data(CLIResponseData::Version{{"2.1.0", "214", "1.0.0"}}),
            "Kestrune v2.1.0 (build 214)\n");
}

TEST_F(RenderTest, PrintsTheMessageAfterThePayload) {
  EXPECT_EQ(data(CLIResponseData::Volume{40}, "Volume set"), "40%\nVolume set\n");
  EXPECT_EQ(data(CLIResponseData::Bluetooth{}, "note"),
            "No Bluetooth audio devices connected.\nnote\n");
}

TEST_F(RenderTest, PrintsTheDeviceTableWithColumnsWideEnoughForEveryCell) {
  std::vector<CLIDeviceInfo> devices(4);
  devices[0] = {"BuiltInSpeakers", "MacBook Pro Speakers", false, true, true, 50.0, false, 48000.0,
                "builtin"};
  devices[1] = {"USBMic", "Mic", true, false, false, {}, {}, {}, {}};
  devices[2] = {"Both", "Interface", true, true, false, {}, {}, {}, "usb"};
  devices[3] = {
      "X", "Caf\u00e9 \U0001F469\u200D\U0001F469\u200D\U0001F467", false, false, false, {}, {}, {},
      {}};
  EXPECT_EQ(data(CLIResponseData::Devices{devices}),
            "UID              NAME                  TYPE     I/O  DEFAULT\n"
            "───────────────  ────────────────────  ───────  ───  ───────\n"
            "BuiltInSpeakers  MacBook Pro Speakers  builtin  O    ✓      \n"
            "USBMic           Mic                   —        I           \n"
            "Both             Interface             usb      O/I         \n"
            "X                Café 👩‍👩‍👧                —                    \n");
}

TEST_F(RenderTest, PrintsTheAppTable) {
  std::vector<CLIAppInfo> apps(3);
  apps[0] = {"1", "Music", "com.example.music", 49.99, false, "AP", "AirPods Pro", "rock", {}};
  apps[1] = {"2", "Zo\u00eb \U0001F1EB\U0001F1F7", {}, 150, true, "USB-1", {}, {}, 0.5};
  apps[2] = {"3", "Safari", {}, 100, false, {}, "Ignored", {}, {}};
  EXPECT_EQ(data(CLIResponseData::Apps{apps}),
            "APP     VOLUME  MUTED  DEVICE       EQ  \n"
            "──────  ──────  ─────  ───────────  ────\n"
            "Music   49%            AirPods Pro  rock\n"
            "Zoë 🇫🇷   150%    ✓      USB-1        —   \n"
            "Safari  100%           Ignored      —   \n");
  apps[2].deviceName.reset();
  EXPECT_EQ(data(CLIResponseData::Apps{{apps[2]}}),
            "APP     VOLUME  MUTED  DEVICE   EQ\n"
            "──────  ──────  ─────  ───────  ──\n"
            "Safari  100%           default  — \n");
}

TEST_F(RenderTest, PrintsProfileAndBluetoothTables) {
  EXPECT_EQ(data(CLIResponseData::Profiles{{{"p1", "Work", 3}, {"p2", "Home Office", 12}}}),
            "NAME         APPS\n"
            "───────────  ────\n"
            "Work         3   \n"
            "Home Office  12  \n");
  EXPECT_EQ(data(CLIResponseData::Bluetooth{{{"AirPods Pro", 85, true}, {"Speaker", {}, false}}}),
            "DEVICE       BATTERY\n"
            "───────────  ───────\n"
            "AirPods Pro  85%    \n"
            "Speaker      —      \n");
}

TEST_F(RenderTest, PrintsNoneForEmptyListsButAnExplanationForBluetooth) {
  EXPECT_EQ(data(CLIResponseData::Devices{}), "(none)\n");
  EXPECT_EQ(data(CLIResponseData::Apps{}), "(none)\n");
  EXPECT_EQ(data(CLIResponseData::Profiles{}), "(none)\n");
  EXPECT_EQ(data(CLIResponseData::Bluetooth{}), "No Bluetooth audio devices connected.\n");
}

TEST(TableTextTest, PadsOnlyTheCellsThatHaveAHeader) {
  EXPECT_EQ(tableText({"A", "B"}, {{"x"}, {"yy", "z", "extra"}}),
            "A   B\n"
            "──  ─\n"
            "x \n"
            "yy  z  extra\n");
}

TEST_F(RenderTest, PrintsTheDeviceBlock) {
  CLIDeviceInfo both{"Both", "Interface", true, true, true, {}, {}, {}, "usb"};
  EXPECT_EQ(data(CLIResponseData::Device{both}),
            "Interface\n"
            "  UID:       Both\n"
            "  Transport: usb\n"
            "  Type:      Output, Input\n"
            "  Default:   ✓\n");
  CLIDeviceInfo neither{"X", "Nothing", false, false, false, {}, {}, {}, {}};
  EXPECT_EQ(data(CLIResponseData::Device{neither}),
            "Nothing\n"
            "  UID:       X\n"
            "  Type:      \n");
}

TEST_F(RenderTest, PrintsTheAppBlock) {
  CLIAppInfo full{"123", "Music", "com.example.music", 150, true, "AP", "AirPods", "rock", -20.7};
  EXPECT_EQ(data(CLIResponseData::App{full}),
            "Music\n"
            "  ID:      123\n"
            "  Bundle:  com.example.music\n"
            "  Volume:  150%\n"
            "  Muted:   Yes\n"
            "  Device:  AirPods\n"
            "  EQ:      rock\n"
            "  Balance: -20%\n");
  CLIAppInfo nameOnly{"9", "Safari", {}, 100, false, {}, "AirPods", {}, {}};
  EXPECT_EQ(data(CLIResponseData::App{nameOnly}),
            "Safari\n"
            "  ID:      9\n"
            "  Volume:  100%\n"
            "  Muted:   No\n");
  nameOnly.deviceUID = "USB-1";
  nameOnly.deviceName.reset();
  EXPECT_EQ(data(CLIResponseData::App{nameOnly}),
            "Safari\n"
            "  ID:      9\n"
            "  Volume:  100%\n"
            "  Muted:   No\n"
            "  Device:  USB-1\n");
}

TEST_F(RenderTest, PrintsTheMediaBlock) {
  CLIMediaInfo playing{"Song", "Artist", "Album", "Music", true, 125.7, 3600, 80.5};
  EXPECT_EQ(data(CLIResponseData::MediaInfo{playing}),
            "▶ Song\n"
            "  Artist: Artist\n"
            "  Album:  Album\n"
            "  Player: Music\n"
            "  Time:   2:05 / 60:00\n"
            "  Volume: 80%\n");
  CLIMediaInfo paused{"Song", {}, {}, {}, false, 10, {}, {}};
  EXPECT_EQ(data(CLIResponseData::MediaInfo{paused}), "⏸ Song\n");
  CLIMediaInfo nothing{{}, "Artist", {}, {}, false, 1, 2, 3};
  EXPECT_EQ(data(CLIResponseData::MediaInfo{nothing}), "Nothing playing\n");
  CLIMediaInfo untitled{{}, "Artist", {}, {}, true, {}, 200, {}};
  EXPECT_EQ(data(CLIResponseData::MediaInfo{untitled}), "  Artist: Artist\n");
}

TEST_F(RenderTest, PrintsTheStatusBlock) {
  CLIDeviceInfo speakers{"S", "Speakers", false, true, true, {}, {}, {}, {}};
  CLIDeviceInfo mic{"M", "Mic", true, false, true, {}, {}, {}, {}};
  CLIStatusInfo status{"1.2.3", true, speakers, mic, 42.9, false, true, 3, true};
  EXPECT_EQ(data(CLIResponseData::Status{status}),
            "Kestrune v1.2.3\n"
            "  Running:      ✓\n"
            "  Output:       Speakers\n"
            "  Input:        Mic\n"
            "  Volume:       42%\n"
            "  Muted:        No\n"
            "  Silent mode:  On\n"
            "  Active apps:  3\n"
            "  CLI installed: Yes\n");
  CLIStatusInfo bare{"0.1", false, {}, {}, 0, true, false, 0, false};
  EXPECT_EQ(data(CLIResponseData::Status{bare}),
            "Kestrune v0.1\n"
            "  Running:      ✓\n"
            "  Volume:       0%\n"
            "  Muted:        Yes\n"
            "  Silent mode:  Off\n"
            "  Active apps:  0\n"
            "  CLI installed: No\n");
}

TEST_F(RenderTest, PrintsTheEQBlock) {
  CLIEQInfo eq{true,
               "rock",
               {{60, -2.5},
                {1000, 3},
                {16000, 0},
                {12500, 1.26},
                {123456, -0.0},
                {250, -12},
                {1e9, 0.04},
                {999.9, -0.04}}};
  EXPECT_EQ(data(CLIResponseData::Eq{eq}),
            "EQ: Enabled\n"
            "  Preset: rock\n"
            "  60    Hz: -2.5 dB\n"
            "  1k    Hz: +3.0 dB\n"
            "  16k   Hz: +0.0 dB\n"
            "  12k   Hz: +1.3 dB\n"
            "  123k  Hz: +0.0 dB\n"
            "  250   Hz: -12.0 dB\n"
            "  10000 Hz: +0.0 dB\n"
            "  999   Hz: -0.0 dB\n");
  EXPECT_EQ(data(CLIResponseData::Eq{{false, {}, {}}}), "EQ: Disabled\n");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(data(CLIResponseData::Eq{{false, {}, {{nan, nan}, {inf, -inf}}}}),
            "EQ: Disabled\n"
            "  nan   Hz: nan dB\n"
            "  infk  Hz: -inf dB\n");
}

TEST_F(RenderTest, PrintsTheApplicationsFailureOnStandardError) {
  CLIResponse failure;
  failure.error = "No app named Foo";
  EXPECT_EQ(response(failure),
            std::make_pair(std::string(), std::string("Error: No app named Foo\n")));
  failure.error.reset();
  failure.data = CLIResponseData{CLIResponseData::Volume{1}};
  EXPECT_EQ(response(failure),
            std::make_pair(std::string(), std::string("Error: Unknown error\n")));
}

TEST_F(RenderTest, PrintsPayloadMessageOrNothingOnSuccess) {
  CLIResponse r = success(CLIResponseData::Muted{true});
  r.message = "Microphone muted";
  EXPECT_EQ(response(r).first, "Muted\nMicrophone muted\n");
  r.data.reset();
  EXPECT_EQ(response(r).first, "Microphone muted\n");
  r.message.reset();
  EXPECT_EQ(response(r), std::make_pair(std::string(), std::string()));
}

TEST_F(RenderTest, PrintsTheWholeEnvelopeAsJSON) {
  jsonOutput = true;
  EXPECT_EQ(response(success(CLIResponseData::Volume{42})),
            std::make_pair(std::string("{\n"
                                       "  \"data\" : {\n"
                                       "    \"volume\" : {\n"
                                       "      \"_0\" : 42\n"
                                       "    }\n"
                                       "  },\n"
                                       "  \"success\" : true\n"
                                       "}\n"),
                           std::string()));
  CLIResponse failure;
  EXPECT_EQ(response(failure).first,
            "{\n"
            "  \"success\" : false\n"
            "}\n");
  EXPECT_EQ(response(failure).second, "");
}

TEST_F(RenderTest, FallsBackToAFixedLineWhenTheResponseCannotBeEncoded) {
  jsonOutput = true;
  const std::string fallback = "{\"success\": false, \"error\": \"Failed to encode response\"}\n";
  EXPECT_EQ(response(success(CLIResponseData::Volume{std::numeric_limits<double>::infinity()})),
            std::make_pair(fallback, std::string()));
  CLIResponse failure;
  failure.message = "x";
  failure.data = CLIResponseData{CLIResponseData::Eq{{true, {}, {{std::nan(""), 1}}}}};
  EXPECT_EQ(response(failure), std::make_pair(fallback, std::string()));
}

// A name that would retitle and clear the terminal, one that would split
// its record, and one that would turn the rest of its line around.
const std::string kRetitle = "\x1b]0;pwned\a\x1b[2J";
const std::string kTwoLines = "Fake\nline\r\t\x7f";
const std::string kReversed = "\u202e\u2066gnp.exe\u009b";

TEST_F(RenderTest, NamesShowTheirControlsVisiblyAndTablesStayAligned) {
  std::vector<CLIAppInfo> apps(3);
  apps[0] = {"1", kRetitle, {}, 50, false, "AP", kReversed, {}, {}};
  apps[1] = {"2", kTwoLines, {}, 100, true, {}, {}, "rock", {}};
  apps[2] = {"3", "Music", {}, 80, false, {}, {}, {}, {}};
  EXPECT_EQ(data(CLIResponseData::Apps{apps}),
            "APP                 VOLUME  MUTED  DEVICE                     EQ  \n"
            "──────────────────  ──────  ─────  ─────────────────────────  ────\n"
            "\\e]0;pwned\\a\\e[2J   50%            \\u202e\\u2066gnp.exe\\u009b  —   \n"
            "Fake\\nline\\r\\t\\x7f  100%    ✓      default                    rock\n"
            "Music               80%            default                    —   \n");
  EXPECT_EQ(data(CLIResponseData::App{apps[0]}, kTwoLines),
            "\\e]0;pwned\\a\\e[2J\n"
            "  ID:      1\n"
            "  Volume:  50%\n"
            "  Muted:   No\n"
            "  Device:  \\u202e\\u2066gnp.exe\\u009b\n"
            "Fake\\nline\\r\\t\\x7f\n");
  EXPECT_EQ(
      data(CLIResponseData::MediaInfo{{kRetitle, kTwoLines, kReversed, "mpv", true, {}, {}, {}}}),
      "▶ \\e]0;pwned\\a\\e[2J\n"
      "  Artist: Fake\\nline\\r\\t\\x7f\n"
      "  Album:  \\u202e\\u2066gnp.exe\\u009b\n"
      "  Player: mpv\n");
}

TEST_F(RenderTest, EveryTextOfEveryAnswerIsShownVisiblyButJSONIsUnchanged) {
  const std::string h = kRetitle + kTwoLines + kReversed;
  const CLIDeviceInfo device{h, h, true, true, true, 50, false, 48000, h};
  const CLIAppInfo app{h, h, h, 50, false, h, h, h, 10};
  const std::vector<CLIResponseData::Case> payloads = {
      CLIResponseData::Device{device},
      CLIResponseData::Devices{{device, device}},
      CLIResponseData::Apps{{app, app}},
      CLIResponseData::App{app},
      CLIResponseData::Profiles{{{h, h, 2}}},
      CLIResponseData::MediaInfo{{h, h, h, h, false, 1, 2, 3}},
      CLIResponseData::Bluetooth{{{h, 50, true}}},
      CLIResponseData::Status{{h, true, device, device, 50, false, false, 1, true}},
      CLIResponseData::Version{{h, h, h}},
      CLIResponseData::Eq{{true, h, {{100, 1}}}},
      CLIResponseData::Text{h},
  };
  for (const auto& payload : payloads) {
    CLIResponse answer = success(payload);
    answer.message = h;
    const std::string out = response(answer).first;
    // Every line break is the layout's own: the same text with a plain
    // name has as many lines.
    const std::string plain = dataText(CLIResponseData{payload}, "x");
    EXPECT_EQ(out.find_first_of(std::string("\x1b\a\r\t\x7f\0", 6)), std::string::npos) << out;
    EXPECT_EQ(out.find("\u202e"), std::string::npos) << out;
    EXPECT_EQ(out.find("\u009b"), std::string::npos) << out;
    EXPECT_NE(out.find("\\e]0;pwned\\a\\e[2JFake\\nline\\r\\t\\x7f\\u202e\\u2066gnp.exe\\u009b"),
              std::string::npos)
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'),
              std::count(plain.begin(), plain.end(), '\n'))
        << out;
  }
  CLIResponse failure;
  failure.error = "App not found: \"" + kTwoLines + "\". Running apps: " + kRetitle;
  EXPECT_EQ(response(failure).second,
            "Error: App not found: \"Fake\\nline\\r\\t\\x7f\". Running apps: "
            "\\e]0;pwned\\a\\e[2J\n");
  CLIResponse message;
  message.success = true;
  message.message = kReversed + " muted";
  EXPECT_EQ(response(message).first, "\\u202e\\u2066gnp.exe\\u009b muted\n");

  jsonOutput = true;
  EXPECT_EQ(response(success(CLIResponseData::Text{kRetitle})).first,
            "{\n"
            "  \"data\" : {\n"
            "    \"text\" : {\n"
            "      \"_0\" : \"\\u001b]0;pwned\\u0007\\u001b[2J\"\n"
            "    }\n"
            "  },\n"
            "  \"success\" : true\n"
            "}\n");
}

TEST(ErrorTextTest, IsOneErrorLine) {
  EXPECT_EQ(errorText("Volume must be between 0 and 100."),
            "Error: Volume must be between 0 and 100.\n");
}

}  // namespace
}  // namespace kestrune
