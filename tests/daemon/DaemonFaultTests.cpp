// kestruned when its sound server is absent, dies or comes back, and when
// it is started twice: it never exits or hangs because of the server.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "DaemonFixture.h"
#include "support/Requirements.h"

namespace kestrune::daemon::testing {
namespace {

using namespace std::chrono_literals;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class DaemonFaultTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    KESTRUNE_SKIP_UNLESS_INSTALLED(testing_support::soundServerTools(GetParam()));
  }
  ScratchDirectory scratch_;
  std::string serverDirectory() const { return scratch_.path() + "/server"; }
};

TEST_P(DaemonFaultTest, StartsWithoutAServerAndConnectsWhenItAppears) {
  std::filesystem::create_directories(serverDirectory());
  Daemon daemon(SoundServer::environmentFor(GetParam(), serverDirectory()), scratch_.path());
  const Finished absent = daemon.kestrune({"volume"});
  EXPECT_EQ(absent.status, 0);
  EXPECT_TRUE(contains(absent.err, "Error: The sound server is not reachable: ")) << absent.err;
  EXPECT_TRUE(contains(daemon.kestrune({"app", "list"}).err, "not reachable"));
  EXPECT_EQ(daemon.ask({"version", "--json"}).find("\"version\"") != std::string::npos, true);

  SoundServer server(GetParam(), serverDirectory());
  EXPECT_TRUE(eventually([&] { return daemon.kestrune({"volume"}).out == "100%\n"; }, 5s))
      << daemon.process().log();
  EXPECT_TRUE(contains(daemon.process().log(), "connected to the sound server"));
}

TEST_P(DaemonFaultTest, OutlivesAServerThatDiesAndRestoresItsAppsWhenItIsBack) {
  std::filesystem::create_directories(serverDirectory());
  SoundServer server(GetParam(), serverDirectory());
  Daemon daemon(server, scratch_.path());
  {
    const Player music(server, "Jukebox");
    daemon.ask({"app", "volume", "Jukebox", "30"});
  }
  server.kill();
  EXPECT_TRUE(eventually(
      [&] {
        return contains(daemon.kestrune({"volume"}).err, "The sound server is not reachable");
      },
      3s));
  EXPECT_TRUE(daemon.process().running());

  server.start();
  EXPECT_TRUE(eventually([&] { return daemon.kestrune({"volume"}).out == "100%\n"; }, 5s))
      << daemon.process().log();
  const Player again(server, "Jukebox");
  EXPECT_TRUE(eventually([&] { return clientVolumes(server, "Jukebox") == std::vector<int>{30}; }));
  EXPECT_TRUE(contains(daemon.process().log(), "lost the sound server"));
}

TEST_P(DaemonFaultTest, ASecondInstanceRefusesAndSigtermRemovesTheSocket) {
  std::filesystem::create_directories(serverDirectory());
  SoundServer server(GetParam(), serverDirectory());
  Daemon daemon(server, scratch_.path());
  const Finished second = run(
      KESTRUNED_BINARY, {"--socket", daemon.socketPath(), "--config", scratch_.path() + "/other"},
      server.environment(), 10s);
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(contains(second.err, "already")) << second.err;
  // Refused at once, before it had anything to do with the sound server.
  EXPECT_FALSE(contains(second.err, "sound server")) << second.err;
  EXPECT_EQ(daemon.ask({"volume"}), "100%\n");

  daemon.process().signal(SIGTERM);
  EXPECT_EQ(daemon.process().wait(5s), 0);
  EXPECT_FALSE(std::filesystem::exists(daemon.socketPath()));
}

INSTANTIATE_TEST_SUITE_P(BothServers, DaemonFaultTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& tested) { return nameOf(tested.param); });

// A device's correction is loaded again on a sound server that came back.
// PulseAudio only: the server starts in a fraction of the time.
using CorrectionFaultTest = DaemonFaultTest;

TEST_P(CorrectionFaultTest, ADeviceCorrectionIsPutBackWhenTheServerRestarts) {
  std::filesystem::create_directories(serverDirectory());
  SoundServer server(GetParam(), serverDirectory());
  Daemon daemon(server, scratch_.path());
  const std::string config = daemon.configDirectory();
  std::filesystem::create_directories(config + "/eq");
  std::ofstream(config + "/eq/cans.txt") << "Preamp: -3 dB\n"
                                            "Filter 1: ON PK Fc 1000 Hz Gain 2.0 dB Q 1.00\n";
  std::ofstream(config + "/devices.json") << R"({"correction": {"headphones": "cans"}})";
  const auto corrected = [&](const char* client) {
    const auto sinks = sinksOfClient(server, client);
    return sinks.size() == 1 && sinks[0].rfind("kestrune_eq.", 0) == 0;
  };
  {
    const Player music(server, "Jukebox", {}, "headphones");
    EXPECT_TRUE(eventually([&] { return corrected("Jukebox"); }))
        << server.pactl({"list", "short", "sinks"});
  }
  server.kill();
  server.start();
  const Player again(server, "Jukebox", {}, "headphones");
  EXPECT_TRUE(eventually([&] { return corrected("Jukebox"); }, 5s))
      << server.pactl({"list", "short", "sinks"}) << daemon.process().log();
}

INSTANTIATE_TEST_SUITE_P(PulseAudio, CorrectionFaultTest, ::testing::Values(ServerKind::pulseAudio),
                         [](const auto& tested) { return nameOf(tested.param); });

}  // namespace
}  // namespace kestrune::daemon::testing
