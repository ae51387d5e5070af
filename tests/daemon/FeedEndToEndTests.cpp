// kestrune-watch following the real kestruned on a private PulseAudio and a
// private PipeWire: each change made with pactl appears as its line, with
// the values pactl shows.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>

#include "DaemonFixture.h"
#include "SharedServerTest.h"
#include "daemon/dbus/Peers.h"
#include "daemon/media/MediaPeers.h"
#include "json/Value.h"
#include "support/Requirements.h"

#ifdef KESTRUNE_WATCH_BINARY

namespace kestrune::daemon::testing {
namespace {

using namespace std::chrono_literals;
using ::kestrune::testing::trimmed;
namespace peers = ::kestrune::testing;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// kestrune-watch in the background, its lines read back from its output.
class Watch {
 public:
  Watch(const Daemon& daemon, const std::string& directory, std::vector<std::string> arguments)
      : outPath_(directory + "/watch" + std::to_string(++count_) + ".out") {
    arguments.insert(arguments.begin(), {"--socket", daemon.socketPath()});
    process_ = std::make_unique<Process>(KESTRUNE_WATCH_BINARY, arguments,
                                         std::vector<std::string>{}, outPath_ + ".err", outPath_);
  }

  // The whole lines printed so far; one still being written is not a line yet.
  std::vector<std::string> lines() const {
    std::ifstream in(outPath_, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> all;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         end = text.find('\n', start)) {
      all.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return all;
  }

  // The first line after those already taken that satisfies `wanted`, once
  // it is there; the lines seen so far in the failure otherwise.
  json::Value next(const std::function<bool(const json::Value&)>& wanted,
                   std::chrono::milliseconds limit = 5s) {
    std::optional<json::Value> found;
    eventually(
        [&] {
          const std::vector<std::string> all = lines();
          for (; taken_ < all.size(); ++taken_) {
            json::Value line = json::parse(all[taken_]);
            if (wanted(line)) {
              ++taken_;
              found = std::move(line);
              return true;
            }
          }
          return false;
        },
        limit);
    if (!found) {
      ADD_FAILURE() << "no such line; kestrune-watch printed:\n" << everything();
      return json::Value();
    }
    return *found;
  }

  std::string everything() const {
    std::string all;
    for (const auto& line : lines()) {
      all += line + "\n";
    }
    return all + "(stderr) " + process_->log();
  }

  Process& process() { return *process_; }

 private:
  static inline int count_ = 0;
  std::string outPath_;
  std::unique_ptr<Process> process_;
  std::size_t taken_ = 0;
};

std::string eventOf(const json::Value& line) {
  const json::Value* name = line.find("event");
  return name != nullptr && name->isString() ? name->asString() : "";
}

const json::Value* member(const json::Value& value, std::initializer_list<const char*> path) {
  const json::Value* at = &value;
  for (const char* key : path) {
    at = at->find(key);
    if (at == nullptr) {
      return nullptr;
    }
  }
  return at;
}

// The string at that path, or a note that there is none.
std::string textAt(const json::Value& value, std::initializer_list<const char*> path) {
  const json::Value* found = member(value, path);
  return found != nullptr && found->isString() ? found->asString() : "(absent)";
}

std::function<bool(const json::Value&)> eventIs(const std::string& name) {
  return [name](const json::Value& line) { return eventOf(line) == name; };
}

// A device line of that device, with the member at that value.
template <class Value>
std::function<bool(const json::Value&)> deviceWith(const std::string& uid, const char* key,
                                                   Value value) {
  return [=](const json::Value& line) {
    const json::Value* device = line.find("device");
    return eventOf(line) == "device" && device != nullptr && textAt(*device, {"uid"}) == uid &&
           device->find(key) != nullptr && *device->find(key) == json::Value(value);
  };
}

template <class Value>
std::function<bool(const json::Value&)> statusWith(std::initializer_list<const char*> path,
                                                   Value value) {
  return [=](const json::Value& line) {
    const json::Value* found = eventOf(line) == "status" ? member(line, {"status"}) : nullptr;
    for (const char* key : path) {
      found = found != nullptr ? found->find(key) : nullptr;
    }
    return found != nullptr && *found == json::Value(value);
  };
}

class FeedEndToEndTest : public SharedServerTest {
 protected:
  void SetUp() override {
    useSharedServer();
    if (IsSkipped()) {
      return;
    }
    daemon_ = std::make_unique<Daemon>(*server_, scratch_.path());
  }

  void TearDown() override {
    watches_.clear();
    daemon_.reset();
  }

  Watch& watch(std::vector<std::string> arguments = {}) {
    watches_.push_back(std::make_unique<Watch>(*daemon_, scratch_.path(), std::move(arguments)));
    return *watches_.back();
  }

  // pactl's index of the one stream of a client, once the server has placed it.
  std::string streamOf(const std::string& client) {
    EXPECT_TRUE(eventually([&] { return sinksOfClient(*server_, client).size() == 1; }));
    const auto streams = streamIndicesOfClient(*server_, client);
    return streams.empty() ? "" : streams.front();
  }

  std::vector<std::unique_ptr<Watch>> watches_;
};

TEST_P(FeedEndToEndTest, ChangesMadeWithPactlAppearAsTheirLines) {
  Watch& lines = watch();
  const json::Value snapshot = lines.next(eventIs("snapshot"));
  ASSERT_NE(member(snapshot, {"status", "outputDevice", "uid"}), nullptr) << lines.everything();
  EXPECT_EQ(textAt(snapshot, {"status", "outputDevice", "uid"}),
            trimmed(pactl({"get-default-sink"})));
  EXPECT_TRUE(member(snapshot, {"media"})->isNull());

  pactl({"set-sink-volume", "speakers", "55%"});
  ASSERT_TRUE(contains(pactl({"get-sink-volume", "speakers"}), "/  55% /"));
  lines.next(deviceWith("speakers", "volume", 55));
  lines.next(statusWith({"outputVolume"}, 55));

  pactl({"set-source-mute", "mic", "1"});
  ASSERT_EQ(pactl({"get-source-mute", "mic"}), "Mute: yes\n");
  lines.next(deviceWith("mic", "isMuted", true));
  lines.next(statusWith({"isMuted"}, true));

  pactl({"set-default-sink", "headphones"});
  ASSERT_TRUE(eventually([&] { return trimmed(pactl({"get-default-sink"})) == "headphones"; }));
  lines.next(deviceWith("headphones", "isDefault", true));
  lines.next(statusWith({"outputDevice", "uid"}, "headphones"));
}

TEST_P(FeedEndToEndTest, AnAppAppearsChangesAndGoesAway) {
  Watch& lines = watch({"--only", "apps"});
  const json::Value snapshot = lines.next(eventIs("snapshot"));
  EXPECT_EQ(snapshot.find("status"), nullptr) << "only apps were asked for";
  auto player = std::make_unique<Player>(*server_, "Jukebox");
  const json::Value appeared = lines.next([](const json::Value& line) {
    return eventOf(line) == "app" && textAt(line, {"app", "name"}) == "Jukebox";
  });
  const std::string id = textAt(appeared, {"app", "id"});

  const std::string stream = streamOf("Jukebox");
  pactl({"set-sink-input-volume", stream, "30%"});
  ASSERT_TRUE(
      eventually([&] { return clientVolumes(*server_, "Jukebox") == std::vector<int>{30}; }));
  lines.next([&](const json::Value& line) {
    const json::Value* volume = member(line, {"app", "volume"});
    return eventOf(line) == "app" && textAt(line, {"app", "id"}) == id && volume != nullptr &&
           *volume == json::Value(30);
  });

  player.reset();
  ASSERT_TRUE(eventually([&] { return streamIndicesOfClient(*server_, "Jukebox").empty(); }));
  const json::Value gone = lines.next(eventIs("app-removed"));
  EXPECT_EQ(textAt(gone, {"id"}), id);
  for (const std::string& line : lines.lines()) {
    EXPECT_TRUE(contains(line, "\"event\":\"app") || contains(line, "\"snapshot\"")) << line;
  }
}

TEST_P(FeedEndToEndTest, AFormatPrintsTheNewVolume) {
  pactl({"set-sink-volume", "speakers", "40%"});
  Watch& lines = watch({"--format", "{volume} {output}"});
  EXPECT_TRUE(eventually([&] {
    const auto all = lines.lines();
    return !all.empty() && all.back() == "40 Speakers";
  })) << lines.everything();
  pactl({"set-sink-volume", "speakers", "63%"});
  EXPECT_TRUE(eventually([&] {
    const auto all = lines.lines();
    return !all.empty() && all.back() == "63 Speakers";
  })) << lines.everything();
}

// Servers that go away, each with a server and a daemon of its own.
class FeedFaultTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    KESTRUNE_SKIP_UNLESS_INSTALLED(testing_support::soundServerTools(GetParam()));
  }
  ScratchDirectory scratch_;
  std::string serverDirectory() const { return scratch_.path() + "/server"; }
};

TEST_P(FeedFaultTest, TheSoundServerAndTheDaemonGoingAwayAreLinesThenFreshState) {
  std::filesystem::create_directories(serverDirectory());
  SoundServer server(GetParam(), serverDirectory());
  auto daemon = std::make_unique<Daemon>(server, scratch_.path());
  Watch lines(*daemon, scratch_.path(), {});
  const json::Value first = lines.next(eventIs("snapshot"));
  const json::Value* installed = first.find("status")->find("cliInstalled");
  ASSERT_NE(installed, nullptr);
  EXPECT_EQ(*installed, json::Value(true)) << "kestrune is beside kestruned";

  server.kill();
  const json::Value gone = lines.next(statusWith({"isRunning"}, false));
  ASSERT_NE(gone.find("unavailable"), nullptr);
  EXPECT_TRUE(contains(gone.find("unavailable")->asString(), "The sound server is not reachable"));
  // What does not depend on the sound server stays as it was.
  EXPECT_EQ(*gone.find("status")->find("cliInstalled"), json::Value(true));
  server.start();
  // Fresh state once the server is back with its devices (a server just
  // started may show none for a moment).
  const json::Value back = lines.next(statusWith({"outputDevice", "uid"}, "speakers"), 10s);
  EXPECT_EQ(back.find("unavailable"), nullptr);
  EXPECT_EQ(textAt(back, {"status", "version"}), "1.0.0");

  daemon->process().signal(SIGKILL);
  daemon->process().wait(2s);
  lines.next([](const json::Value& line) {
    const json::Value* running = line.find("running");
    return eventOf(line) == "daemon" && running != nullptr && *running == json::Value(false);
  });
  std::filesystem::remove(daemon->socketPath());  // what a crash leaves behind
  daemon = std::make_unique<Daemon>(server, scratch_.path());
  const json::Value again = lines.next(eventIs("snapshot"), 10s);
  if (textAt(again, {"status", "outputDevice", "uid"}) != "speakers") {
    lines.next(statusWith({"outputDevice", "uid"}, "speakers"));
  }
  EXPECT_TRUE(lines.process().running()) << "it never exits because the daemon went away";
}

// The player and BlueZ, on one private bus that serves as both the session
// and the system bus; no sound server runs.
class MediaAndBluetoothFeedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = peers::mpvPluginPath();
    if (plugin_.empty() || access("/usr/bin/mpv", X_OK) != 0 ||
        access("/usr/bin/playerctl", X_OK) != 0) {
      GTEST_SKIP() << "needs mpv, mpv-mpris and playerctl";
    }
    KESTRUNE_SKIP_UNLESS_INSTALLED(testing_support::bluezMockTools());
    peers::writeTaggedWav(bus_.directory() / "one.wav", "First Song", "Alpha", "Tests", 30);
    peers::writeTaggedWav(bus_.directory() / "two.wav", "Second Song", "Beta", "Tests", 30);
  }

  std::vector<std::string> environment() const {
    return {bus_.sessionEnvironment(), systemBus(),
            "PULSE_SERVER=unix:" + bus_.directory() / "no-pulse",
            "XDG_RUNTIME_DIR=" + bus_.directory().path(), "HOME=" + bus_.directory().path()};
  }
  std::string systemBus() const { return "DBUS_SYSTEM_BUS_ADDRESS=" + bus_.address(); }

  peers::BackgroundProcess startBlueZ() {
    peers::BackgroundProcess mock({"/usr/bin/python3", "-m", "dbusmock", "--template", "bluez5"},
                                  {systemBus()});
    EXPECT_TRUE(eventually([&] {
      return peers::runCommand(
                 {"/usr/bin/busctl", "--address=" + bus_.address(), "status", "org.bluez"}, {}, 1s)
                 .status == 0;
    })) << "the BlueZ mock did not appear";
    bluez("setup");
    return mock;
  }

  void bluez(const std::string& action) const {
    const auto result =
        peers::runCommand({"/usr/bin/python3",
                           KESTRUNE_SOURCE_DIR "/tests/daemon/bluetooth/bluez_devices.py", action},
                          {systemBus()});
    ASSERT_EQ(result.status, 0) << action;
  }

  peers::BackgroundProcess startMpv() {
    peers::BackgroundProcess mpv(
        {"/usr/bin/mpv", "--no-config", "--idle=no", "--ao=null", "--no-video", "--no-terminal",
         "--script=" + plugin_, bus_.directory() / "one.wav", bus_.directory() / "two.wav"},
        {bus_.sessionEnvironment()});
    EXPECT_TRUE(eventually([&] { return !playerctl({"metadata", "artist"}).empty(); }));
    return mpv;
  }

  std::string playerctl(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"/usr/bin/playerctl", "-p", "mpv"});
    return trimmed(peers::runCommand(arguments, {bus_.sessionEnvironment()}, 5s).out);
  }

  peers::PrivateBus bus_;
  std::string plugin_;
  ScratchDirectory scratch_;
};

std::function<bool(const json::Value&)> mediaWith(const char* key, const json::Value& value) {
  return [=](const json::Value& line) {
    const json::Value* found = eventOf(line) == "media" ? member(line, {"media", key}) : nullptr;
    return found != nullptr && *found == value;
  };
}

TEST_F(MediaAndBluetoothFeedTest, TrackChangesPausesAndBatteryChangesAppearAsTheirLines) {
  auto bluezMock = startBlueZ();
  auto mpv = startMpv();
  Daemon daemon(environment(), scratch_.path());
  Watch lines(daemon, scratch_.path(), {"--only", "media,bluetooth"});
  const json::Value snapshot = lines.next(eventIs("snapshot"));
  ASSERT_NE(member(snapshot, {"bluetooth"}), nullptr) << lines.everything();
  EXPECT_EQ(member(snapshot, {"status"}), nullptr);

  // The now-playing once the daemon has found the player (perhaps already
  // in the snapshot), as playerctl sees it.
  const json::Value* first = member(snapshot, {"media", "title"});
  if (first == nullptr || first->asString() != "First Song") {
    lines.next(mediaWith("title", "First Song"));
  }
  ASSERT_EQ(playerctl({"metadata", "title"}), "First Song");

  ASSERT_EQ(peers::runCommand({"/usr/bin/playerctl", "-p", "mpv", "next"},
                              {bus_.sessionEnvironment()}, 5s)
                .status,
            0);
  ASSERT_TRUE(eventually([&] { return playerctl({"metadata", "title"}) == "Second Song"; }));
  const json::Value next = lines.next(mediaWith("title", "Second Song"));
  EXPECT_EQ(textAt(next, {"media", "artist"}), "Beta");
  EXPECT_EQ(member(next, {"media", "position"}), nullptr) << "the feed does not tick";

  peers::runCommand({"/usr/bin/playerctl", "-p", "mpv", "pause"}, {bus_.sessionEnvironment()}, 5s);
  ASSERT_TRUE(eventually([&] { return playerctl({"status"}) == "Paused"; }));
  lines.next(mediaWith("isPlaying", false));

  bluez("change");
  const json::Value changed = lines.next([](const json::Value& line) {
    if (eventOf(line) != "bluetooth") {
      return false;
    }
    for (const json::Value& device : line.find("bluetooth")->asArray()) {
      const json::Value* battery = device.find("batteryLevel");
      if (battery != nullptr && battery->asDouble() == 55) {
        return true;
      }
    }
    return false;
  });
  EXPECT_EQ(changed.find("unavailable"), nullptr);

  mpv = peers::BackgroundProcess();
  lines.next([](const json::Value& line) {
    return eventOf(line) == "media" && line.find("media")->isNull();
  });
}

INSTANTIATE_TEST_SUITE_P(BothServers, FeedEndToEndTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& tested) { return nameOf(tested.param); });
INSTANTIATE_TEST_SUITE_P(BothServers, FeedFaultTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& tested) { return nameOf(tested.param); });

}  // namespace
}  // namespace kestrune::daemon::testing

#endif  // KESTRUNE_WATCH_BINARY
