// kestrune media commands through the real kestruned, against mpv on a
// private session bus, checked with playerctl. No sound server runs: the
// daemon's media side works without one.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <iostream>
#include <string>
#include <vector>

#include "DaemonFixture.h"
#include "daemon/dbus/Peers.h"
#include "daemon/media/MediaPeers.h"

namespace kestrune::daemon {
namespace {

using std::chrono::milliseconds;
namespace peers = ::kestrune::testing;

class MediaEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = peers::mpvPluginPath();
    if (plugin_.empty() || access("/usr/bin/mpv", X_OK) != 0 ||
        access("/usr/bin/playerctl", X_OK) != 0) {
      GTEST_SKIP() << "needs mpv, mpv-mpris and playerctl";
    }
    peers::writeTaggedWav(bus_.directory() / "one.wav", "First Song", "Alpha", "Tests", 30);
    peers::writeTaggedWav(bus_.directory() / "two.wav", "Second Song", "Beta", "Tests", 30);
  }

  std::vector<std::string> environment() const {
    return {bus_.sessionEnvironment(), "PULSE_SERVER=unix:" + bus_.directory() / "no-pulse",
            "XDG_RUNTIME_DIR=" + bus_.directory().path(), "HOME=" + bus_.directory().path()};
  }

  peers::BackgroundProcess startMpv() {
    peers::BackgroundProcess mpv(
        {"/usr/bin/mpv", "--no-config", "--idle=no", "--ao=null", "--no-video", "--no-terminal",
         "--script=" + plugin_, bus_.directory() / "one.wav", bus_.directory() / "two.wav"},
        {bus_.sessionEnvironment()});
    EXPECT_TRUE(peers::eventually([&] { return !playerctl({"metadata", "artist"}).empty(); }));
    return mpv;
  }

  std::string playerctl(std::vector<std::string> arguments, const std::string& player = "mpv") {
    arguments.insert(arguments.begin(), {"/usr/bin/playerctl", "-p", player});
    return peers::runCommand(arguments, {bus_.sessionEnvironment()}, std::chrono::seconds(5)).out;
  }

  peers::PrivateBus bus_;
  std::string plugin_;
  testing::ScratchDirectory scratch_;
};

TEST_F(MediaEndToEndTest, MediaInfoThroughKestrunedShowsWhatPlayerctlSees) {
  auto mpv = startMpv();
  testing::Daemon daemon(environment(), scratch_.path());

  const std::string info = daemon.ask({"media", "info"});
  const std::string metadata = playerctl({"metadata"});
  std::cout << "$ kestrune media info\n" << info << "$ playerctl metadata\n" << metadata;
  for (const std::string& value :
       {playerctl({"metadata", "title"}), playerctl({"metadata", "artist"}),
        playerctl({"metadata", "album"})}) {
    const std::string shown = peers::trimmed(value);
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(info.find(shown), std::string::npos) << shown << " missing from:\n" << info;
  }
  EXPECT_NE(info.find("Player: mpv"), std::string::npos) << info;

  daemon.ask({"media", "play-pause"});
  EXPECT_EQ(peers::trimmed(playerctl({"status"})), "Paused");
  daemon.ask({"media", "next"});
  EXPECT_TRUE(peers::eventually([&] {
    return peers::trimmed(playerctl({"metadata", "title"})) == "Second Song";
  }));
  EXPECT_EQ(daemon.ask({"media", "repeat"}), "Repeat: all\n");
  EXPECT_EQ(peers::trimmed(playerctl({"loop"})), "Playlist");
}

TEST_F(MediaEndToEndTest, APlayerThatNeverAnswersHoldsUpOnlyItsOwnRequest) {
  peers::BackgroundProcess hung(
      {"/usr/bin/python3", KESTRUNE_SOURCE_DIR "/tests/daemon/media/test_player.py", "hung",
       "org.mpris.MediaPlayer2.hung"},
      {bus_.sessionEnvironment()});
  EXPECT_TRUE(peers::eventually([&] {
    return peers::runCommand({"/usr/bin/busctl", "--address=" + bus_.address(), "status",
                              "org.mpris.MediaPlayer2.hung"})
               .status == 0;
  }));
  testing::Daemon daemon(environment(), scratch_.path());

  const auto started = std::chrono::steady_clock::now();
  auto media = std::async(std::launch::async, [&] { return daemon.kestrune({"media", "info"}); });
  std::this_thread::sleep_for(milliseconds(200));
  const auto volumeAsked = std::chrono::steady_clock::now();
  const testing::Finished volume = daemon.kestrune({"volume", "get"});
  const auto volumeTook = std::chrono::steady_clock::now() - volumeAsked;
  const testing::Finished info = media.get();
  const auto mediaTook = std::chrono::steady_clock::now() - started;

  // The volume request is answered (here: no sound server) while the media
  // request waits for the player.
  EXPECT_LT(volumeTook, milliseconds(1200)) << volume.out << volume.err;
  EXPECT_EQ(volume.status, 0) << volume.err;
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.err,
            "Error: The media player hung is not responding (no answer within 2 seconds).\n");
  EXPECT_LT(mediaTook, milliseconds(2600));
  EXPECT_GT(mediaTook, volumeTook);
}

}  // namespace
}  // namespace kestrune::daemon
