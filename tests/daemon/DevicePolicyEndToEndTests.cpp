// devices.json's policy on a private PulseAudio and a private PipeWire:
// devices plugged in and out as null sinks loaded and unloaded, every
// effect checked through pactl.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "DaemonFixture.h"
#include "SharedServerTest.h"

namespace kestrune::daemon::testing {
namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A device plugged in for as long as it lives (or until unplug()).
class NullSink {
 public:
  NullSink(const SoundServer& server, std::string name) : server_(server), name_(std::move(name)) {
    module_ = server_.pactl({"load-module", "module-null-sink", "sink_name=" + name_});
    while (!module_.empty() && module_.back() == '\n') {
      module_.pop_back();
    }
  }
  NullSink(const NullSink&) = delete;
  NullSink& operator=(const NullSink&) = delete;
  ~NullSink() { unplug(); }

  void unplug() {
    if (!module_.empty()) {
      server_.pactl({"unload-module", module_});
      module_.clear();
    }
  }

 private:
  const SoundServer& server_;
  std::string name_;
  std::string module_;
};

class DevicePolicyTest : public SharedServerTest {
 protected:
  void SetUp() override {
    useSharedServer();
    if (IsSkipped()) {
      return;
    }
    daemon_ = std::make_unique<Daemon>(*server_, scratch_.path());
    // Devices plugged in before it has the picture would be part of it.
    settledWith("speakers");
  }

  void TearDown() override {
    daemon_.reset();
    players_.clear();
    sinks_.clear();
  }

  void configure(const std::string& text) const {
    std::ofstream(daemon_->configDirectory() + "/devices.json") << text;
  }

  NullSink& plug(const std::string& name) {
    sinks_.push_back(std::make_unique<NullSink>(*server_, name));
    return *sinks_.back();
  }

  Player& play(const std::string& client) {
    players_.push_back(std::make_unique<Player>(*server_, client));
    return *players_.back();
  }

  // Once the daemon shows the device, a request that waits behind its
  // reaction to it: after this, whatever it was going to do is done.
  void settledWith(const std::string& device, bool present = true) const {
    EXPECT_TRUE(eventually([&] {
      return contains(daemon_->ask({"device", "list"}), device) == present;
    }));
    static_cast<void>(daemon_->kestrune({"profile", "list"}));
  }

  std::string defaultSink() const { return pactl({"get-default-sink"}); }
  // As pactl writes it: "/  80% /".
  bool sinkVolumeIs(const std::string& sink, int percent) const {
    std::string shown = std::to_string(percent) + "%";
    shown.insert(0, 4 - std::min<std::size_t>(shown.size(), 4), ' ');
    return contains(pactl({"get-sink-volume", sink}), "/ " + shown + " /");
  }

  std::vector<std::unique_ptr<Player>> players_;
  std::vector<std::unique_ptr<NullSink>> sinks_;
};

TEST_P(DevicePolicyTest, ADeviceThatRanksAboveTheDefaultTakesOverUntilItLeaves) {
  configure(R"({"output": ["usbdac", "headphones", "speakers", "lowdac"],
                "switchOnConnect": true})");
  play("Music");
  play("Pinned");
  ASSERT_TRUE(eventually([&] { return sinksOfClient(*server_, "Pinned").size() == 1; }));
  daemon_->ask({"app", "device", "set", "Pinned", "headphones"});

  NullSink& dac = plug("usbdac");
  EXPECT_TRUE(eventually([&] {
    return defaultSink() == "usbdac\n" &&
           sinksOfClient(*server_, "Music") == std::vector<std::string>{"usbdac"};
  })) << defaultSink();
  EXPECT_EQ(sinksOfClient(*server_, "Pinned"), std::vector<std::string>{"headphones"});

  dac.unplug();
  EXPECT_TRUE(eventually([&] {
    return defaultSink() == "speakers\n" &&
           sinksOfClient(*server_, "Music") == std::vector<std::string>{"speakers"};
  })) << defaultSink();

  // Ranked below the default, or not ranked at all: no takeover.
  plug("lowdac");
  plug("stranger");
  settledWith("stranger");
  EXPECT_EQ(defaultSink(), "speakers\n");

  // A choice made by hand stands when the device that took over leaves.
  NullSink& again = plug("usbdac");
  EXPECT_TRUE(eventually([&] { return defaultSink() == "usbdac\n"; }));
  daemon_->ask({"device", "set", "headphones"});
  again.unplug();
  settledWith("usbdac", false);
  EXPECT_EQ(defaultSink(), "headphones\n");

  // Stopping leaves the user's own last choice, not the daemon's.
  pactl({"set-default-sink", "speakers"});
  plug("usbdac");
  EXPECT_TRUE(eventually([&] { return defaultSink() == "usbdac\n"; }));
  daemon_.reset();
  EXPECT_EQ(defaultSink(), "speakers\n");
}

TEST_P(DevicePolicyTest, ANewOutputStartsAtTheSetVolumeAndAKnownOneAtItsOwn) {
  configure(R"({"newDeviceVolume": 30})");
  NullSink& dac = plug("freshdac");
  EXPECT_TRUE(eventually([&] { return sinkVolumeIs("freshdac", 30); }))
      << pactl({"get-sink-volume", "freshdac"}) << daemon_->process().log();
  pactl({"set-sink-volume", "freshdac", "65%"});
  EXPECT_TRUE(eventually([&] {
    return contains(daemon_->ask({"device", "list", "--json"}), "\"volume\" : 65");
  })) << daemon_->ask({"device", "list", "--json"});
  static_cast<void>(daemon_->kestrune({"profile", "list"}));  // remembered by then
  dac.unplug();
  settledWith("freshdac", false);
  plug("freshdac");
  EXPECT_TRUE(eventually([&] { return sinkVolumeIs("freshdac", 65); }))
      << pactl({"get-sink-volume", "freshdac"}) << daemon_->process().log();
}

TEST_P(DevicePolicyTest, NoOutputStaysAboveTheCap) {
  configure(R"({"maxVolume": 80})");
  EXPECT_EQ(daemon_->ask({"volume", "set", "95"}), "80%\n");
  EXPECT_TRUE(sinkVolumeIs("speakers", 80));
  daemon_->ask({"volume", "set", "78"});
  EXPECT_EQ(daemon_->ask({"volume", "up"}), "80%\n");
  EXPECT_TRUE(sinkVolumeIs("speakers", 80));

  pactl({"set-sink-volume", "speakers", "120%"});
  EXPECT_TRUE(eventually([&] { return sinkVolumeIs("speakers", 80); }));
  pactl({"set-sink-volume", "headphones", "90%"});
  EXPECT_TRUE(eventually([&] { return sinkVolumeIs("headphones", 80); }));

  // Read again when it changes; a value that cannot be used is reported
  // where it is.
  configure(R"({"maxVolume": 60})");
  pactl({"set-sink-volume", "speakers", "70%"});
  EXPECT_TRUE(eventually([&] { return sinkVolumeIs("speakers", 60); }));
  configure(R"({"maxVolume": 180})");
  EXPECT_EQ(daemon_->ask({"volume", "set", "90"}), "90%\n");
  EXPECT_TRUE(contains(daemon_->process().log(), "devices.json:1:15: "))
      << daemon_->process().log();
}

INSTANTIATE_TEST_SUITE_P(BothServers, DevicePolicyTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& tested) { return nameOf(tested.param); });

}  // namespace
}  // namespace kestrune::daemon::testing
