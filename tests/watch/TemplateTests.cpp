#include "watch/Template.h"

#include <gtest/gtest.h>

#include "json/Value.h"
#include "watch/Printer.h"
#include "watch/WatchCommandLine.h"

using namespace kestrune;
using namespace kestrune::watch;

namespace {

CLIDeviceInfo device(std::string name, bool output, std::optional<bool> muted) {
  CLIDeviceInfo info;
  info.uid = name + "-uid";
  info.name = std::move(name);
  info.isOutput = output;
  info.isInput = !output;
  info.isDefault = true;
  info.isMuted = muted;
  return info;
}

FeedState playingState() {
  FeedState state;
  state.status.outputVolume = 39.9;
  state.status.outputDevice = device("Speakers", true, true);
  state.status.inputDevice = device("Headset Mic", false, false);
  state.status.isMuted = false;
  state.status.isSilentMode = true;
  state.status.activeAppCount = 3;
  state.media = CLIMediaInfo{};
  state.media->title = "Northern Lights";
  state.media->artist = "Aurora Fields";
  state.media->album = "Polar";
  state.media->player = "mpv";
  state.media->isPlaying = true;
  state.bluetooth = {{"Buds", 80, true},
                     {"Keyboard", 15, false},
                     {"Mouse", 35, true},
                     {"Speaker", std::nullopt, true}};
  return state;
}

std::string rendered(std::string_view text, const FeedState* state,
                     FeedKinds followed = FeedKinds::all()) {
  return Template::parse(text).render(state, followed);
}

std::string templateError(std::string_view text) {
  try {
    Template::parse(text);
  } catch (const TemplateError& error) {
    return error.description();
  }
  return "(parsed)";
}

std::string usageError(const std::vector<std::string>& arguments) {
  try {
    parseWatchArguments(arguments);
  } catch (const WatchUsageError& error) {
    return error.description();
  }
  return "(parsed)";
}

}  // namespace

TEST(TemplateTest, FillsEveryPlaceholderFromTheState) {
  const FeedState state = playingState();
  EXPECT_EQ(rendered("{volume}|{muted}|{micMuted}|{silent}|{output}|{input}|{apps}", &state),
            "39|true|false|true|Speakers|Headset Mic|3");
  EXPECT_EQ(rendered("{playing} {title} - {artist} ({album}, {player})", &state),
            "\u25B6 Northern Lights - Aurora Fields (Polar, mpv)");
  // The keyboard is lower but not connected; the speaker reports no level.
  EXPECT_EQ(rendered("{battery}%", &state), "35%");

  FeedState paused = state;
  paused.media->isPlaying = false;
  EXPECT_EQ(rendered("{playing}", &paused), "\u23F8");
}

TEST(TemplateTest, VolumesAreTruncatedTowardZero) {
  FeedState state;
  for (const auto& [volume, text] :
       std::vector<std::pair<double, std::string>>{{100, "100"}, {0.99, "0"}, {55.5, "55"}}) {
    state.status.outputVolume = volume;
    EXPECT_EQ(rendered("{volume}", &state), text) << volume;
  }
}

TEST(TemplateTest, MissingValuesRenderEmpty) {
  FeedState state = playingState();
  EXPECT_EQ(rendered("[{volume}][{title}][{playing}][{battery}]", nullptr), "[][][][]");

  state.media.reset();
  state.bluetooth = {{"Buds", std::nullopt, true}};
  state.status.outputDevice.reset();
  EXPECT_EQ(rendered("[{title}][{playing}][{battery}][{output}][{muted}]", &state), "[][][][][]");

  // Without the sound server the status holds nothing real.
  FeedState unreachable = playingState();
  unreachable.statusUnavailable = "The sound server is not reachable.";
  EXPECT_EQ(rendered("[{volume}][{silent}][{title}]", &unreachable), "[][][Northern Lights]");

  // Kinds not followed are not known.
  FeedKinds mediaOnly = FeedKinds::none();
  mediaOnly.add(FeedKind::media);
  EXPECT_EQ(rendered("[{volume}][{title}][{battery}]", &unreachable, mediaOnly),
            "[][Northern Lights][]");
}

TEST(TemplateTest, DoubledBracesAreLiteral) {
  FeedState state;
  state.status.outputVolume = 7;
  EXPECT_EQ(rendered("{{volume}} {{{volume}}} a}}b", &state), "{volume} {7} a}b");
  EXPECT_EQ(rendered("", &state), "");
}

TEST(TemplateTest, ValuesShowTheirControlCharactersSoEachChangeStaysOneLine) {
  FeedState state = playingState();
  state.media->title = "\x1b]0;pwned\a\x1b[2J";
  state.media->artist =
      "two\nlines\r\tand \xc2\x9b"
      "31m";
  state.status.outputDevice->name = "\u202eevil\u2069 \u200f";
  EXPECT_EQ(rendered("{title}|{artist}|{output}", &state),
            "\\e]0;pwned\\a\\e[2J|two\\nlines\\r\\tand \\u009b31m|\\u202eevil\\u2069 \\u200f");
  // The template's own text is the user's to choose.
  EXPECT_EQ(rendered("a\tb{volume}", &state), "a\tb39");
}

TEST(TemplateTest, UnknownPlaceholdersAndUnmatchedBracesAreRefused) {
  EXPECT_NE(templateError("vol {volume} {Volume}").find("unknown placeholder '{Volume}'"),
            std::string::npos);
  EXPECT_NE(templateError("{}").find("unknown placeholder '{}'"), std::string::npos);
  EXPECT_NE(templateError("{volume").find("'{' without its '}'"), std::string::npos);
  EXPECT_EQ(templateError("volume}"), "a '}' without its '{' (write '}}' for a brace)");
  EXPECT_EQ(templateError("{volume}}"), "a '}' without its '{' (write '}}' for a brace)");
  EXPECT_EQ(templateError("}}}"), "a '}' without its '{' (write '}}' for a brace)");
  EXPECT_EQ(templateError("{{volume}}"), "(parsed)");
}

TEST(TemplateTest, KnowsWhichKindsItReads) {
  const FeedKinds kinds = Template::parse("{title} {battery}").kindsUsed();
  EXPECT_TRUE(kinds.has(FeedKind::media));
  EXPECT_TRUE(kinds.has(FeedKind::bluetooth));
  EXPECT_FALSE(kinds.has(FeedKind::status));
  EXPECT_TRUE(Template::parse("plain").kindsUsed().empty());
}

TEST(WatchCommandLineTest, SubscribesToWhatIsShown) {
  const WatchOptions all = parseWatchArguments({});
  EXPECT_TRUE(all.subscribedKinds().isAll());

  const WatchOptions only = parseWatchArguments({"--only", "media,status", "--only=apps"});
  EXPECT_TRUE(only.only.has(FeedKind::media));
  EXPECT_TRUE(only.only.has(FeedKind::status));
  EXPECT_TRUE(only.only.has(FeedKind::apps));
  EXPECT_FALSE(only.only.has(FeedKind::devices));

  const FeedKinds templated =
      parseWatchArguments({"--format", "{title} {volume}"}).subscribedKinds();
  EXPECT_TRUE(templated.has(FeedKind::media));
  EXPECT_TRUE(templated.has(FeedKind::status));
  EXPECT_FALSE(templated.has(FeedKind::bluetooth));
  EXPECT_TRUE(parseWatchArguments({"--format=x"}).subscribedKinds().has(FeedKind::status));
}

TEST(WatchCommandLineTest, BadArgumentsNameTheProblem) {
  EXPECT_NE(usageError({"--only", "status,volumes"}).find("unknown kind 'volumes'"),
            std::string::npos);
  EXPECT_NE(usageError({"--only", "status,"}).find("an empty kind"), std::string::npos);
  EXPECT_NE(usageError({"--format", "{vol}"}).find("'{vol}'"), std::string::npos);
  EXPECT_EQ(usageError({"--socket"}), "Missing value for '--socket'");
  EXPECT_EQ(usageError({"--socket="}), "Invalid value for '--socket': the path is empty");
  EXPECT_EQ(usageError({"--json"}), "Unknown option '--json'");
  EXPECT_EQ(usageError({"status"}), "Unexpected argument 'status'");
  EXPECT_EQ(usageError({"--format", "volume}"}),
            "Invalid value for '--format': a '}' without its '{' (write '}}' for a brace)");
}

TEST(SnapshotFollowingTest, LeavesOutTheKindsNotFollowed) {
  const json::Value snapshot = json::parse(
      R"({"event":"snapshot","status":{"v":1},"devices":[],"apps":[],"icons":{"mpv":"mpv"},)"
      R"("media":null,"artUrl":"file:///a.png","bluetooth":[],)"
      R"("unavailable":{"status":"no server","bluetooth":"no BlueZ"}})");
  FeedKinds kinds = FeedKinds::none();
  kinds.add(FeedKind::status);
  kinds.add(FeedKind::media);
  EXPECT_EQ(json::writeCompact(snapshotFollowing(snapshot, kinds)),
            R"({"event":"snapshot","status":{"v":1},"media":null,"artUrl":"file:\/\/\/a.png",)"
            R"("unavailable":{"status":"no server"}})");

  FeedKinds apps = FeedKinds::none();
  apps.add(FeedKind::apps);
  EXPECT_EQ(json::writeCompact(snapshotFollowing(snapshot, apps)),
            R"({"event":"snapshot","apps":[],"icons":{"mpv":"mpv"}})");
  EXPECT_EQ(snapshotFollowing(snapshot, FeedKinds::all()), snapshot);
}
