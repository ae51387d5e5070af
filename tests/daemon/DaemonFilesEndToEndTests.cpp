// What users see of kestruned's files through kestrune: a change that could
// not be saved, configuration paths that lead to a FIFO or a device, and a
// presets file broken after a preset was chosen. Effects are checked with
// pactl.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "DaemonFixture.h"
#include "SharedServerTest.h"

namespace kestrune::daemon::testing {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class DaemonFilesTest : public SharedServerTest {
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

  void play(const std::string& client) {
    players_.push_back(std::make_unique<Player>(*server_, client));
    ASSERT_TRUE(eventually([&] { return !streamIndicesOfClient(*server_, client).empty(); }));
    ASSERT_TRUE(eventually([&] {
      return daemon_->kestrune({"app", "volume", client}).status == 0;
    }));
  }

  std::string configFile(const std::string& name) const {
    return daemon_->configDirectory() + "/" + name;
  }

  std::vector<std::unique_ptr<Player>> players_;
};

TEST_P(DaemonFilesTest, AChangeThatCannotBeSavedHappensAndSaysWhyItWillNotLast) {
  play("Alpha");
  // Where the file belongs there is a directory: no save can replace it.
  fs::create_directory(configFile("settings.json"));
  const std::string unsaved = daemon_->ask({"app", "volume", "Alpha", "55", "--json"});
  EXPECT_TRUE(contains(unsaved, "\"success\" : true")) << unsaved;
  EXPECT_TRUE(contains(unsaved, "will not survive a restart")) << unsaved;
  EXPECT_TRUE(contains(unsaved, "Is a directory")) << unsaved;
  EXPECT_TRUE(eventually([&] { return clientVolumes(*server_, "Alpha") == std::vector<int>{55}; }));

  fs::remove(configFile("settings.json"));
  const std::string saved = daemon_->ask({"app", "volume", "Alpha", "60"});
  EXPECT_FALSE(contains(saved, "restart")) << saved;
  std::ifstream file(configFile("settings.json"));
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  EXPECT_TRUE(contains(text, "\"volume\" : 60")) << text;
}

TEST_P(DaemonFilesTest, AFifoOrADeviceAsAConfigFileIsRefusedAtOnceAndChangesGoOn) {
  ASSERT_EQ(::mkfifo(configFile("profiles.json").c_str(), 0600), 0);
  const auto listed = daemon_->kestrune({"profile", "list"});
  EXPECT_TRUE(contains(listed.err, configFile("profiles.json") + ": not a regular file"))
      << listed.err;
  EXPECT_EQ(daemon_->ask({"volume", "set", "30"}), "30%\n");
  EXPECT_TRUE(contains(pactl({"get-sink-volume", "speakers"}), "/  30% /"));

  fs::remove(configFile("profiles.json"));
  fs::create_symlink("/dev/zero", configFile("profiles.json"));
  fs::create_symlink("/dev/zero", configFile("devices.json"));
  const auto applied = daemon_->kestrune({"profile", "apply", "Focus"});
  EXPECT_TRUE(contains(applied.err, "not a regular file")) << applied.err;
  EXPECT_EQ(daemon_->kestrune({"device", "cycle"}).status, 0);  // in the server's order
  EXPECT_EQ(daemon_->ask({"volume", "set", "35"}), "35%\n");
}

TEST_P(DaemonFilesTest, ABrokenPresetsFileIsNamedAndTheChosenPresetStaysTheAnswer) {
  {
    std::ofstream(configFile("presets.json"))
        << R"({"presets": [{"name": "podcast", "gains": [-4, -3, -1, 0, 2, 4, 4, 2, 0, -2]}]})";
  }
  play("Alpha");
  daemon_->ask({"app", "eq", "set", "Alpha", "podcast"});
  { std::ofstream(configFile("presets.json")) << "{\"presets\": [\n  {\"name\": 3}]}"; }
  const std::string eq = daemon_->ask({"app", "eq", "get", "Alpha"});
  EXPECT_TRUE(contains(eq, "Enabled")) << eq;
  EXPECT_TRUE(contains(eq, "Preset: podcast")) << eq;
  EXPECT_TRUE(contains(daemon_->ask({"app", "list", "--json"}), "podcast"));

  players_.clear();
  play("Beta");
  const auto refused = daemon_->kestrune({"app", "eq", "set", "Beta", "podcast"});
  EXPECT_TRUE(contains(refused.err, "Unknown EQ preset")) << refused.err;
  EXPECT_TRUE(contains(refused.err, configFile("presets.json") + ":2:")) << refused.err;
}

INSTANTIATE_TEST_SUITE_P(BothServers, DaemonFilesTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& tested) { return nameOf(tested.param); });

}  // namespace
}  // namespace kestrune::daemon::testing
