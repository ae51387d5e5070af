// Media control against real players on a private session bus: mpv with its
// MPRIS plugin playing two tagged tracks, scripted players that lack
// capabilities or never answer. Every effect is checked through playerctl.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "daemon/dbus/Peers.h"
#include "daemon/media/MediaPeers.h"
#include "daemon/media/MediaService.h"

namespace kestrune::daemon::media {
namespace {

using kestrune::testing::BackgroundProcess;
using kestrune::testing::eventually;
using kestrune::testing::mpvPluginPath;
using kestrune::testing::PrivateBus;
using kestrune::testing::runCommand;
using kestrune::testing::trimmed;
using kestrune::testing::writeTaggedWav;
using std::chrono::milliseconds;

class MediaServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = mpvPluginPath();
    if (plugin_.empty() || access("/usr/bin/mpv", X_OK) != 0 ||
        access("/usr/bin/playerctl", X_OK) != 0) {
      GTEST_SKIP() << "needs mpv, mpv-mpris and playerctl";
    }
    writeTaggedWav(bus_.directory() / "one.wav", "First Song", "Alpha", "Tests", 30);
    writeTaggedWav(bus_.directory() / "two.wav", "Second Song", "Beta", "Tests", 30);
  }

  MediaService::Options options() const {
    MediaService::Options options;
    options.busAddress = bus_.address();
    return options;
  }

  // mpv playing both tracks (or paused on the first), on the bus with the
  // first track's tags read before this returns. The first instance is
  // "mpv", later ones "mpv.instance<pid>".
  BackgroundProcess startMpv(bool paused = false, const std::string& firstTrack = "one.wav") {
    std::vector<std::string> argv = {"/usr/bin/mpv",       "--no-config", "--idle=no",
                                     "--ao=null",          "--no-video",  "--no-terminal",
                                     "--script=" + plugin_};
    if (paused) {
      argv.emplace_back("--pause");
    }
    argv.push_back(bus_.directory() / firstTrack);
    argv.push_back(bus_.directory() / (firstTrack == "one.wav" ? "two.wav" : "one.wav"));
    const bool first =
        runCommand({"/usr/bin/playerctl", "-l"}, {bus_.sessionEnvironment()}).out.find("mpv") ==
        std::string::npos;
    BackgroundProcess mpv(argv, {bus_.sessionEnvironment()});
    const std::string name = first ? "mpv" : "mpv.instance" + std::to_string(mpv.pid());
    names_[mpv.pid()] = name;
    // A first start on a cold machine loads mpv's libraries from disk: seconds.
    EXPECT_TRUE(eventually(
        [&] {
          return !playerctl(name, {"metadata", "artist"}).empty();
        },
        std::chrono::seconds(20)))
        << "mpv did not appear on the bus";
    return mpv;
  }

  std::string playerName(pid_t pid) const { return names_.at(pid); }

  // playerctl on one named player (never all: a hung one would stall it).
  std::string playerctl(const std::string& player, std::vector<std::string> arguments) const {
    std::vector<std::string> argv = {"/usr/bin/playerctl", "-p", player};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return trimmed(runCommand(argv, {bus_.sessionEnvironment()}, std::chrono::seconds(5)).out);
  }

  double position(const std::string& player) const {
    return std::stod("0" + playerctl(player, {"position"}));
  }

  BackgroundProcess startScripted(const std::string& mode, const std::string& name) {
    BackgroundProcess player(
        {"/usr/bin/python3", KESTRUNE_SOURCE_DIR "/tests/daemon/media/test_player.py", mode,
         "org.mpris.MediaPlayer2." + name},
        {bus_.sessionEnvironment()});
    EXPECT_TRUE(eventually([&] {
      return runCommand({"/usr/bin/busctl", "--address=" + bus_.address(), "status",
                         "org.mpris.MediaPlayer2." + name},
                        {}, std::chrono::seconds(1))
                 .status == 0;
    })) << name
        << " did not appear on the bus";
    return player;
  }

  PrivateBus bus_;
  std::string plugin_;
  std::map<pid_t, std::string> names_;
};

const CLIMediaInfo& infoOf(const CLIResponse& response) {
  static const CLIMediaInfo none;
  if (!response.data) {
    return none;
  }
  const auto* info = std::get_if<CLIResponseData::MediaInfo>(&response.data->value);
  return info != nullptr ? info->value : none;
}

std::optional<double> volumeOf(const CLIResponse& response) {
  if (!response.data) {
    return std::nullopt;
  }
  const auto* volume = std::get_if<CLIResponseData::Volume>(&response.data->value);
  return volume != nullptr ? std::optional<double>(volume->value) : std::nullopt;
}

CLICommand request(CLICommand::Case value) {
  return CLICommand{std::move(value)};
}

TEST_F(MediaServiceTest, WithoutPlayersEveryRequestSaysNoneIsRunning) {
  MediaService media(options());
  for (const auto& command :
       {request(CLICommand::GetMediaInfo{}), request(CLICommand::MediaPlayPause{}),
        request(CLICommand::MediaForward{15}), request(CLICommand::SetMediaVolume{50})}) {
    const CLIResponse response = media.answer(command);
    EXPECT_FALSE(response.success);
    EXPECT_EQ(response.error, "No media player is running.");
  }
  EXPECT_EQ(media.answer(request(CLICommand::GetVolume{})).error, "Not a media request.");
}

TEST_F(MediaServiceTest, WithoutABusAnswersFailAtOnceWithAReason) {
  MediaService::Options unreachable;
  unreachable.busAddress = "unix:path=" + bus_.directory() / "no-such-bus";
  const auto started = std::chrono::steady_clock::now();
  MediaService media(unreachable);
  const CLIResponse response = media.answer(request(CLICommand::GetMediaInfo{}));
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(500));
  EXPECT_FALSE(response.success);
  EXPECT_EQ(response.error->rfind("Media control is unavailable: ", 0), 0u) << *response.error;

  // The bus going away under a running service is the same, and its
  // return is noticed.
  MediaService connected(options());
  EXPECT_EQ(connected.answer(request(CLICommand::GetMediaInfo{})).error,
            "No media player is running.");
  bus_.stop();
  const CLIResponse lost = connected.answer(request(CLICommand::GetMediaInfo{}));
  EXPECT_FALSE(lost.success);
  EXPECT_EQ(lost.error->rfind("Media control is unavailable: cannot connect", 0), 0u)
      << *lost.error;
  bus_.start();
  EXPECT_EQ(connected.answer(request(CLICommand::GetMediaInfo{})).error,
            "No media player is running.");
}

TEST_F(MediaServiceTest, InfoDescribesWhatMpvIsPlaying) {
  auto mpv = startMpv();
  MediaService media(options());
  const CLIResponse response = media.answer(request(CLICommand::GetMediaInfo{}));
  ASSERT_TRUE(response.success) << response.error.value_or("");
  const CLIMediaInfo& info = infoOf(response);
  EXPECT_EQ(info.title, playerctl("mpv", {"metadata", "title"}));
  EXPECT_EQ(info.title, "First Song");
  EXPECT_EQ(info.artist, "Alpha");
  EXPECT_EQ(info.album, "Tests");
  EXPECT_EQ(info.player, "mpv");
  EXPECT_TRUE(info.isPlaying);
  ASSERT_TRUE(info.duration.has_value());
  EXPECT_NEAR(*info.duration, 30, 0.1);
  ASSERT_TRUE(info.position.has_value());
  EXPECT_NEAR(*info.position, position("mpv"), 1.0);
  EXPECT_EQ(info.volume, 100);
}

TEST_F(MediaServiceTest, TransportCommandsMoveMpv) {
  auto mpv = startMpv();
  MediaService media(options());

  CLIResponse response = media.answer(request(CLICommand::MediaPlayPause{}));
  ASSERT_TRUE(response.success) << response.error.value_or("");
  EXPECT_FALSE(infoOf(response).isPlaying);
  EXPECT_EQ(response.message, "mpv is paused.");
  EXPECT_EQ(playerctl("mpv", {"status"}), "Paused");
  response = media.answer(request(CLICommand::MediaPlayPause{}));
  EXPECT_TRUE(infoOf(response).isPlaying);
  EXPECT_EQ(playerctl("mpv", {"status"}), "Playing");

  response = media.answer(request(CLICommand::MediaNext{}));
  ASSERT_TRUE(response.success) << response.error.value_or("");
  EXPECT_TRUE(eventually([&] { return playerctl("mpv", {"metadata", "title"}) == "Second Song"; }));
  EXPECT_EQ(infoOf(response).title, "Second Song");
  response = media.answer(request(CLICommand::MediaPrevious{}));
  ASSERT_TRUE(response.success) << response.error.value_or("");
  EXPECT_TRUE(eventually([&] { return playerctl("mpv", {"metadata", "title"}) == "First Song"; }));

  ASSERT_TRUE(playerctl("mpv", {"pause"}).empty());
  const double before = position("mpv");
  response = media.answer(request(CLICommand::MediaForward{5}));
  ASSERT_TRUE(response.success) << response.error.value_or("");
  EXPECT_EQ(response.message, "Skipped forward 5 seconds.");
  EXPECT_TRUE(eventually([&] { return std::abs(position("mpv") - (before + 5)) < 0.5; }))
      << position("mpv") << " after skipping 5 s from " << before;
  response = media.answer(request(CLICommand::MediaBackward{2.5}));
  EXPECT_TRUE(eventually([&] { return std::abs(position("mpv") - (before + 2.5)) < 0.5; }));
  // Far back stops at the start of the track, on the same track.
  response = media.answer(request(CLICommand::MediaBackward{600}));
  ASSERT_TRUE(response.success) << response.error.value_or("");
  EXPECT_EQ(response.message, "Back to the start of the track.");
  EXPECT_TRUE(eventually([&] { return position("mpv") < 0.5; }));
  EXPECT_EQ(playerctl("mpv", {"metadata", "title"}), "First Song");
}

TEST_F(MediaServiceTest, RepeatShuffleAndVolumeChangeMpv) {
  auto mpv = startMpv();
  MediaService media(options());

  ASSERT_EQ(playerctl("mpv", {"loop"}), "None");
  for (const auto& [message, loop] :
       {std::pair{"Repeat: all", "Playlist"}, std::pair{"Repeat: one", "Track"},
        std::pair{"Repeat: off", "None"}}) {
    const CLIResponse response = media.answer(request(CLICommand::MediaRepeat{}));
    EXPECT_TRUE(response.success) << response.error.value_or("");
    EXPECT_EQ(response.message, message);
    EXPECT_EQ(playerctl("mpv", {"loop"}), loop);
  }

  // Whatever the plugin makes of shuffle, the answer agrees with what
  // playerctl sees afterwards.
  const std::string shuffleBefore = playerctl("mpv", {"shuffle"});
  const CLIResponse shuffled = media.answer(request(CLICommand::MediaShuffle{}));
  const std::string shuffleAfter = playerctl("mpv", {"shuffle"});
  if (shuffled.success) {
    EXPECT_NE(shuffleAfter, shuffleBefore);
    EXPECT_EQ(shuffled.message, "Shuffle: " + std::string(shuffleAfter == "On" ? "on" : "off"));
  } else {
    EXPECT_EQ(shuffleAfter, shuffleBefore);
    EXPECT_EQ(shuffled.error->rfind("mpv cannot change shuffle", 0), 0u) << *shuffled.error;
  }

  CLIResponse response = media.answer(request(CLICommand::SetMediaVolume{40}));
  ASSERT_TRUE(response.success) << response.error.value_or("");
  EXPECT_EQ(volumeOf(response), 40);
  EXPECT_EQ(playerctl("mpv", {"volume"}), "0.400000");
  ASSERT_TRUE(playerctl("mpv", {"volume", "0.75"}).empty());
  EXPECT_EQ(volumeOf(media.answer(request(CLICommand::GetMediaVolume{}))), 75);
  response = media.answer(request(CLICommand::SetMediaVolume{101}));
  EXPECT_FALSE(response.success);
  EXPECT_EQ(response.error, "Volume must be between 0 and 100.");
  EXPECT_EQ(playerctl("mpv", {"volume"}), "0.750000");
}

TEST_F(MediaServiceTest, RequestsGoToThePlayingOrMostRecentlyPlayedPlayer) {
  auto first = startMpv(false, "one.wav");
  auto second = startMpv(true, "two.wav");
  const std::string firstName = playerName(first.pid());
  const std::string secondName = playerName(second.pid());
  ASSERT_NE(firstName, secondName);
  MediaService media(options());
  auto title = [&] { return infoOf(media.answer(request(CLICommand::GetMediaInfo{}))).title; };

  EXPECT_EQ(title(), "First Song");  // the one playing
  ASSERT_TRUE(playerctl(firstName, {"pause"}).empty());
  ASSERT_TRUE(playerctl(secondName, {"play"}).empty());
  EXPECT_TRUE(eventually([&] { return title() == "Second Song"; }));
  ASSERT_TRUE(playerctl(secondName, {"pause"}).empty());
  EXPECT_TRUE(eventually([&] { return playerctl(secondName, {"status"}) == "Paused"; }));
  EXPECT_EQ(title(), "Second Song");  // both paused: the one that played last

  // A player leaving is noticed; with none left, none is running.
  second.stop();
  EXPECT_TRUE(eventually([&] { return title() == "First Song"; }));
  first.stop();
  EXPECT_TRUE(eventually([&] {
    return media.answer(request(CLICommand::GetMediaInfo{})).error == "No media player is running.";
  }));
}

TEST_F(MediaServiceTest, APlayerThatNeverAnswersFailsOnlyItsOwnRequests) {
  auto hung = startScripted("hung", "hung");
  MediaService media(options());
  auto started = std::chrono::steady_clock::now();
  CLIResponse response = media.answer(request(CLICommand::GetMediaInfo{}));
  EXPECT_LE(std::chrono::steady_clock::now() - started, milliseconds(2100));
  EXPECT_FALSE(response.success);
  EXPECT_EQ(response.error,
            "The media player hung is not responding (no answer within 2 seconds).");

  // Once another player plays, requests go there and are answered at once.
  auto mpv = startMpv();
  started = std::chrono::steady_clock::now();
  response = media.answer(request(CLICommand::GetMediaInfo{}));
  EXPECT_LE(std::chrono::steady_clock::now() - started, milliseconds(1000));
  EXPECT_TRUE(response.success) << response.error.value_or("");
  EXPECT_EQ(infoOf(response).title, "First Song");
}

TEST_F(MediaServiceTest, MissingCapabilitiesAreNamed) {
  auto limited = startScripted("limited", "limited");
  MediaService media(options());

  const CLIResponse info = media.answer(request(CLICommand::GetMediaInfo{}));
  EXPECT_EQ(infoOf(info).player, "Limited Player");
  EXPECT_EQ(infoOf(info).artist, "Host One");

  struct Case {
    CLICommand command;
    const char* error;
  };
  const std::vector<Case> refused = {
      {request(CLICommand::MediaNext{}), "Limited Player cannot skip to the next track."},
      {request(CLICommand::MediaPrevious{}),
       "Limited Player cannot go back to the previous track."},
      {request(CLICommand::MediaForward{15}), "Limited Player cannot seek."},
      {request(CLICommand::MediaRepeat{}), "Limited Player cannot change the repeat mode."},
      {request(CLICommand::SetMediaVolume{80}), "Limited Player cannot change its volume."},
  };
  for (const auto& [command, error] : refused) {
    const CLIResponse response = media.answer(command);
    EXPECT_FALSE(response.success) << error;
    EXPECT_EQ(response.error, error);
  }
  EXPECT_EQ(playerctl("limited", {"loop"}), "None");
  EXPECT_EQ(playerctl("limited", {"volume"}), "0.250000");

  // What it can do, it does.
  const CLIResponse shuffled = media.answer(request(CLICommand::MediaShuffle{}));
  EXPECT_EQ(shuffled.message, "Shuffle: on");
  EXPECT_EQ(playerctl("limited", {"shuffle"}), "On");
  EXPECT_EQ(volumeOf(media.answer(request(CLICommand::GetMediaVolume{}))), 25);
  EXPECT_FALSE(infoOf(media.answer(request(CLICommand::MediaPlayPause{}))).isPlaying);
  EXPECT_EQ(playerctl("limited", {"status"}), "Paused");
}

// What a follower was told, in order; read from the test's thread.
class Reports {
 public:
  NowPlayingObserver observer() {
    return [this](const NowPlaying& report) {
      const std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back(report);
    };
  }

  std::optional<NowPlaying> latest() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return reports_.empty() ? std::nullopt : std::optional<NowPlaying>(reports_.back());
  }

  std::size_t count() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return reports_.size();
  }

  // Whether the latest report comes to satisfy `condition`.
  bool come(const std::function<bool(const NowPlaying&)>& condition) const {
    return eventually([&] {
      const auto report = latest();
      return report && condition(*report);
    });
  }

  std::string latestText() const {
    const auto report = latest();
    if (!report) {
      return "no report";
    }
    if (report->unavailable) {
      return *report->unavailable;
    }
    if (!report->media) {
      return "no player";
    }
    return report->media->player.value_or("?") + ": " + report->media->title.value_or("?") +
           (report->media->isPlaying ? " (playing)" : " (not playing)");
  }

 private:
  mutable std::mutex mutex_;
  std::vector<NowPlaying> reports_;
};

// The follower's wake-ups once they stop coming: what was in flight (the
// wake-up after an answer, a player's late signals) has been handled.
std::uint64_t settledWakeUps(const MediaService& media) {
  auto count = media.followWakeUps();
  for (;;) {
    std::this_thread::sleep_for(milliseconds(200));
    const auto now = media.followWakeUps();
    if (now == count) {
      return count;
    }
    count = now;
  }
}

bool playing(const NowPlaying& report, const std::string& title, bool isPlaying) {
  return report.media && report.media->title == title && report.media->isPlaying == isPlaying;
}

TEST_F(MediaServiceTest, FollowingReportsTrackPlayStateAndPlayersComingAndGoing) {
  {
    std::ofstream cover(bus_.directory() / "cover.jpg", std::ios::binary);
    cover << "\xff\xd8\xff\xd9";
  }
  auto mpv = startMpv();
  Reports reports;
  MediaService media(options());
  ASSERT_TRUE(media.follow(reports.observer()));
  EXPECT_FALSE(media.follow(reports.observer()));

  ASSERT_TRUE(reports.come([](const NowPlaying& report) {
    return playing(report, "First Song", true);
  })) << reports.latestText();
  NowPlaying now = *reports.latest();
  EXPECT_EQ(now.media->title, playerctl("mpv", {"metadata", "title"}));
  EXPECT_EQ(now.media->artist, playerctl("mpv", {"metadata", "artist"}));
  EXPECT_EQ(now.media->album, "Tests");
  EXPECT_EQ(now.media->player, "mpv");
  EXPECT_FALSE(now.media->position.has_value());
  EXPECT_FALSE(now.unavailable.has_value());
  ASSERT_TRUE(now.artUrl.has_value());
  EXPECT_EQ(now.artUrl, playerctl("mpv", {"metadata", "mpris:artUrl"}));
  // The same record as the answer, but for the position.
  CLIMediaInfo answered = infoOf(media.answer(request(CLICommand::GetMediaInfo{})));
  EXPECT_TRUE(answered.position.has_value());
  answered.position.reset();
  EXPECT_TRUE(reports.come([&](const NowPlaying& report) {
    return report == NowPlaying{answered, now.artUrl, std::nullopt};
  }));

  // While mpv plays on, nothing changes that is followed: no report, and
  // the thread stays asleep (a second is several of any periodic tick).
  const auto wakeUps = settledWakeUps(media);
  const auto reported = reports.count();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(media.followWakeUps(), wakeUps);
  EXPECT_EQ(reports.count(), reported);

  ASSERT_TRUE(playerctl("mpv", {"next"}).empty());
  EXPECT_TRUE(reports.come([](const NowPlaying& report) {
    return playing(report, "Second Song", true) && report.media->artist == "Beta";
  })) << reports.latestText();
  EXPECT_EQ(playerctl("mpv", {"metadata", "title"}), "Second Song");
  ASSERT_TRUE(playerctl("mpv", {"pause"}).empty());
  EXPECT_TRUE(reports.come([](const NowPlaying& report) {
    return playing(report, "Second Song", false);
  })) << reports.latestText();
  EXPECT_EQ(playerctl("mpv", {"status"}), "Paused");

  // A player that starts playing becomes the one followed; when it leaves,
  // the paused mpv is again.
  {
    auto radio = startScripted("limited", "limited");
    EXPECT_TRUE(reports.come([](const NowPlaying& report) {
      return playing(report, "Radio Hour", true) && report.media->player == "Limited Player" &&
             !report.artUrl;
    })) << reports.latestText();
    EXPECT_EQ(playerctl("limited", {"status"}), "Playing");
  }
  EXPECT_TRUE(reports.come([](const NowPlaying& report) {
    return playing(report, "Second Song", false);
  })) << reports.latestText();

  mpv.stop();
  EXPECT_TRUE(reports.come([](const NowPlaying& report) {
    return !report.media && !report.unavailable;
  })) << reports.latestText();
}

TEST_F(MediaServiceTest, FollowingReportsTheSessionBusGoingAndComingBack) {
  Reports absent;
  MediaService::Options unreachable;
  unreachable.busAddress = "unix:path=" + bus_.directory() / "no-such-bus";
  MediaService without(unreachable);
  ASSERT_TRUE(without.follow(absent.observer()));
  EXPECT_TRUE(absent.come([](const NowPlaying& report) {
    return !report.media && report.unavailable == noSessionBus;
  })) << absent.latestText();

  Reports reports;
  MediaService media(options());
  ASSERT_TRUE(media.follow(reports.observer()));
  EXPECT_TRUE(reports.come([](const NowPlaying& report) {
    return !report.media && !report.unavailable;
  })) << reports.latestText();
  bus_.stop();
  EXPECT_TRUE(reports.come([](const NowPlaying& report) {
    return report.unavailable == noSessionBus;
  })) << reports.latestText();

  // Back, and followed as before: a player starting is seen.
  bus_.start();
  auto radio = startScripted("limited", "limited");
  EXPECT_TRUE(reports.come([](const NowPlaying& report) {
    return playing(report, "Radio Hour", true) && !report.unavailable;
  })) << reports.latestText();
}

}  // namespace
}  // namespace kestrune::daemon::media
