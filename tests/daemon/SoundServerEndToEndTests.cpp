// The real kestrune talking to the real kestruned on a private PulseAudio
// and a private PipeWire (with wireplumber and pipewire-pulse); every effect
// is checked through pactl.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "DaemonFixture.h"
#include "SharedServerTest.h"

namespace kestrune::daemon::testing {
namespace {

using namespace std::chrono_literals;

// One sound server for all the tests of a kind; each test gets its own
// daemon and players, and the devices as they were at the start.
class SoundServerTest : public SharedServerTest {
 protected:
  void SetUp() override {
    useSharedServer();
    if (IsSkipped()) {
      return;
    }
    daemon_ = std::make_unique<Daemon>(*server_, scratch_.path());
  }

  void TearDown() override {
    daemon_.reset();
    players_.clear();
  }

  Player& play(const std::string& client, const std::vector<std::string>& properties = {}) {
    players_.push_back(std::make_unique<Player>(*server_, client, properties));
    return *players_.back();
  }

  std::vector<std::unique_ptr<Player>> players_;
};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_P(SoundServerTest, SystemVolumeIsTheDefaultSinksAndReadsBackExactly) {
  EXPECT_EQ(daemon_->ask({"volume", "set", "40"}), "40%\n");
  EXPECT_TRUE(contains(pactl({"get-sink-volume", "speakers"}), "/  40% /"));
  EXPECT_EQ(daemon_->ask({"volume"}), "40%\n");
  EXPECT_EQ(daemon_->ask({"volume", "up"}), "45%\n");
  EXPECT_TRUE(contains(pactl({"get-sink-volume", "speakers"}), "/  45% /"));
  EXPECT_EQ(daemon_->ask({"volume", "down"}), "40%\n");

  // Changes made elsewhere show up.
  pactl({"set-sink-volume", "speakers", "70%"});
  EXPECT_TRUE(eventually([&] { return daemon_->ask({"volume", "get"}) == "70%\n"; }));
  // Raised above 100 elsewhere: reported as it is, and up leaves it there.
  pactl({"set-sink-volume", "speakers", "120%"});
  EXPECT_TRUE(eventually([&] { return daemon_->ask({"volume", "get"}) == "120%\n"; }));
  EXPECT_EQ(daemon_->ask({"volume", "up"}), "120%\n");

  EXPECT_TRUE(contains(daemon_->kestrune({"volume", "set", "101"}).err, "0"));
  EXPECT_TRUE(contains(pactl({"get-sink-volume", "speakers"}), "/ 120% /"));
}

TEST_P(SoundServerTest, MicrophoneMuteIsTheDefaultSourcesMute) {
  daemon_->ask({"mute", "on"});
  EXPECT_EQ(pactl({"get-source-mute", "mic"}), "Mute: yes\n");
  daemon_->ask({"mute", "toggle"});
  EXPECT_EQ(pactl({"get-source-mute", "mic"}), "Mute: no\n");
  pactl({"set-source-mute", "mic", "1"});
  EXPECT_TRUE(eventually([&] { return contains(daemon_->ask({"mute"}), "Muted"); }));
}

TEST_P(SoundServerTest, DevicesAreSinksAndSourcesWithoutMonitors) {
  const std::string list = daemon_->ask({"device", "list", "--json"});
  EXPECT_TRUE(contains(list, "\"uid\" : \"speakers\""));
  EXPECT_TRUE(contains(list, "\"uid\" : \"headphones\""));
  EXPECT_TRUE(contains(list, "\"uid\" : \"mic\""));
  EXPECT_TRUE(contains(list, "\"name\" : \"Speakers\""));
  EXPECT_TRUE(contains(list, "\"transportType\" : \"Virtual\""));
  EXPECT_FALSE(contains(list, ".monitor"));

  daemon_->ask({"device", "set", "headphones"});
  EXPECT_EQ(pactl({"get-default-sink"}), "headphones\n");
  EXPECT_TRUE(contains(daemon_->ask({"device", "current"}), "Headphones"));

  const auto unknown = daemon_->kestrune({"device", "set", "nowhere"});
  EXPECT_TRUE(contains(unknown.err, "Device not found: \"nowhere\""));
  EXPECT_EQ(pactl({"get-default-sink"}), "headphones\n");
}

TEST_P(SoundServerTest, CyclingFollowsTheOrderOfTheDevicesFile) {
  {
    std::ofstream order(daemon_->configDirectory() + "/devices.json");
    order << R"({"output": ["headphones", "speakers"]})";
  }
  pactl({"set-default-sink", "speakers"});
  // speakers is last in the order: the cycle starts again at its top.
  daemon_->ask({"device", "cycle"});
  EXPECT_EQ(pactl({"get-default-sink"}), "headphones\n");
  daemon_->ask({"device", "cycle", "output"});
  EXPECT_EQ(pactl({"get-default-sink"}), "speakers\n");
}

TEST_P(SoundServerTest, AppsAreStreamsGroupedByIdentity) {
  play("Music");
  play("Music");
  play("Browser", {"application.id=org.example.Browser"});
  const std::string apps = daemon_->ask({"app", "list", "--json"});
  EXPECT_TRUE(contains(apps, "\"id\" : \"Music\""));
  EXPECT_TRUE(contains(apps, "\"id\" : \"org.example.Browser\""));
  EXPECT_TRUE(contains(apps, "\"bundleID\" : \"org.example.Browser\""));
  EXPECT_EQ(daemon_->ask({"status", "--json"}).find("\"activeAppCount\" : 2") != std::string::npos,
            true);

  daemon_->ask({"app", "volume", "music", "150"});
  EXPECT_EQ(clientVolumes(*server_, "Music"), (std::vector<int>{150, 150}));
  EXPECT_EQ(clientVolumes(*server_, "Browser"), (std::vector<int>{100}));

  daemon_->ask({"app", "mute", "org.example.browser", "on"});
  EXPECT_EQ(clientMuted(*server_, "Browser"), true);
  EXPECT_EQ(clientMuted(*server_, "Music"), false);

  daemon_->ask({"app", "device", "set", "Music", "headphones"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"),
            (std::vector<std::string>{"headphones", "headphones"}));
  EXPECT_TRUE(contains(daemon_->ask({"app", "device", "get", "Music"}), "Headphones"));
  daemon_->ask({"app", "device", "set", "Music", "default"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"), (std::vector<std::string>{"speakers", "speakers"}));

  daemon_->ask({"app", "solo", "Browser"});
  EXPECT_EQ(clientMuted(*server_, "Music"), true);
  EXPECT_EQ(clientMuted(*server_, "Browser"), false);

  const auto missing = daemon_->kestrune({"app", "volume", "Nothing", "50"});
  EXPECT_TRUE(contains(missing.err, "App not found: \"Nothing\". Running apps: "));
  EXPECT_TRUE(contains(missing.err, "Music"));
}

// A client named to retitle and clear the terminal, and one named to split
// its row: the text shows their controls, each record on its own line.
TEST_P(SoundServerTest, ClientNamesCannotDriveTheTerminal) {
  play("\x1b]0;pwned\a\x1b[2J");
  play("Two\nLines");
  EXPECT_EQ(daemon_->ask({"app", "list"}),
            "APP                VOLUME  MUTED  DEVICE   EQ\n"
            "─────────────────  ──────  ─────  ───────  ──\n"
            "\\e]0;pwned\\a\\e[2J  100%           default  — \n"
            "Two\\nLines         100%           default  — \n");
  EXPECT_EQ(daemon_->kestrune({"app", "volume", "Nothing", "50"}).err,
            "Error: App not found: \"Nothing\". Running apps: \\e]0;pwned\\a\\e[2J, "
            "Two\\nLines\n");
  const std::string json = daemon_->ask({"app", "list", "--json"});
  EXPECT_TRUE(contains(json, R"("name" : "\u001b]0;pwned\u0007\u001b[2J")")) << json;
  EXPECT_TRUE(contains(json, R"("name" : "Two\nLines")")) << json;
}

TEST_P(SoundServerTest, ChangesMadeElsewhereShowInTheAnswers) {
  play("Music");
  // Placed by the server first (on PipeWire the session manager links a
  // new stream a moment after it appears), then moved, as pactl sees it.
  ASSERT_TRUE(eventually(
      [&] { return sinksOfClient(*server_, "Music") == std::vector<std::string>{"speakers"}; }));
  const std::vector<std::string> streams = streamIndicesOfClient(*server_, "Music");
  ASSERT_EQ(streams.size(), 1U);
  const std::string& index = streams[0];
  // On a busy machine PipeWire's session manager may drop a move: it is
  // asked again, as a user would.
  const auto moved = [&] {
    return sinksOfClient(*server_, "Music") == std::vector<std::string>{"headphones"};
  };
  for (int attempt = 0; attempt < 3 && !moved(); ++attempt) {
    pactl({"move-sink-input", index, "headphones"});
    eventually(moved, 2s);
  }
  ASSERT_TRUE(moved()) << pactl({"list", "short", "sink-inputs"});
  std::string answer;
  EXPECT_TRUE(eventually([&] {
    answer = daemon_->ask({"app", "device", "get", "Music"});
    return contains(answer, "headphones");
  })) << "kestrune: "
      << answer << "pactl: " << pactl({"list", "short", "sink-inputs"})
      << "daemon: " << daemon_->process().log();
  pactl({"set-sink-input-mute", index, "1"});
  EXPECT_TRUE(eventually([&] {
    return contains(daemon_->ask({"app", "list", "--json"}), "\"isMuted\" : true");
  }));
}

TEST_P(SoundServerTest, NewStreamsOfAnAppGetItsRememberedSettings) {
  play("Music");
  daemon_->ask({"app", "volume", "Music", "30"});
  daemon_->ask({"app", "device", "set", "Music", "headphones"});
  play("Music");
  EXPECT_TRUE(eventually([&] {
    return clientVolumes(*server_, "Music") == std::vector<int>{30, 30} &&
           sinksOfClient(*server_, "Music") == std::vector<std::string>{"headphones", "headphones"};
  }));

  // Remembered across a restart of the daemon too.
  daemon_.reset();
  daemon_ = std::make_unique<Daemon>(*server_, scratch_.path());
  play("Music");
  EXPECT_TRUE(eventually([&] {
    return clientVolumes(*server_, "Music").size() == 3 &&
           clientVolumes(*server_, "Music")[2] == 30;
  }));
}

TEST_P(SoundServerTest, SilentModeMutesEventSoundsOnlyAndRestoresThem) {
  play("Chime", {"media.role=event"});
  play("Radio");
  EXPECT_TRUE(contains(daemon_->ask({"silent-mode", "toggle"}), "on"));
  EXPECT_EQ(clientMuted(*server_, "Chime"), true);
  EXPECT_EQ(clientMuted(*server_, "Radio"), false);
  play("Bell", {"media.role=event"});
  EXPECT_TRUE(eventually([&] { return clientMuted(*server_, "Bell") == true; }));

  EXPECT_TRUE(contains(daemon_->ask({"silent-mode", "toggle"}), "off"));
  EXPECT_EQ(clientMuted(*server_, "Chime"), false);
  EXPECT_EQ(clientMuted(*server_, "Bell"), false);
}

TEST_P(SoundServerTest, ProfilesApplyNowAndToAppsNotYetRunning) {
  {
    std::ofstream profiles(daemon_->configDirectory() + "/profiles.json");
    profiles << R"({"profiles": [
      {"name": "Focus", "apps": [
        {"app": "Music", "volume": 20, "device": "headphones"},
        {"app": "Chat", "muted": true}
      ]}
    ]})";
  }
  play("Music");
  EXPECT_TRUE(contains(daemon_->ask({"profile", "list"}), "Focus"));
  const std::string applied = daemon_->ask({"profile", "apply", "focus"});
  EXPECT_TRUE(contains(applied, "Not running: Chat"));
  EXPECT_EQ(clientVolumes(*server_, "Music"), (std::vector<int>{20}));
  EXPECT_EQ(sinksOfClient(*server_, "Music"), (std::vector<std::string>{"headphones"}));
  play("Chat");
  EXPECT_TRUE(eventually([&] { return clientMuted(*server_, "Chat") == true; }));
}

TEST_P(SoundServerTest, AMalformedProfilesFileIsNamedWithItsPlaceAndKept) {
  const std::string path = daemon_->configDirectory() + "/profiles.json";
  const std::string broken = "{\"profiles\": [\n  {\"name\": \"A\",}\n]}";
  {
    std::ofstream profiles(path);
    profiles << broken;
  }
  const auto listed = daemon_->kestrune({"profile", "list"});
  EXPECT_TRUE(contains(listed.err, path + ":2:"));
  std::ifstream kept(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), broken);
  EXPECT_EQ(daemon_->ask({"volume"}), "100%\n");  // and everything else works
}

INSTANTIATE_TEST_SUITE_P(BothServers, SoundServerTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& tested) { return nameOf(tested.param); });

}  // namespace
}  // namespace kestrune::daemon::testing
