// The programs in front of another user who shares the socket's directory,
// and of a client sending more than any request needs.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DaemonFixture.h"

namespace kestrune::daemon::testing {
namespace {

using namespace std::chrono_literals;

class HostileNeighbourTest : public ::testing::Test {
 protected:
  std::string openDirectory() const {
    const std::string path = scratch_.path() + "/shared";
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(::chmod(path.c_str(), 0777), 0);
    return path;
  }

  ScratchDirectory scratch_;
};

std::string refusal(const std::string& directory) {
  return "Refusing the socket directory \"" + directory +
         "\": it is writable by others than its owner (mode 0777), so another user could "
         "replace the socket; use a directory of your own that only you can write to.";
}

TEST_F(HostileNeighbourTest, BothServersRefuseASocketDirectoryEveryoneMayWriteTo) {
  const std::string shared = openDirectory();
  const Finished sim = run(KESTRUNE_SIM_BINARY, {"--socket", shared + "/cli.sock"}, {}, 10s);
  EXPECT_EQ(sim.status, 1);
  EXPECT_NE(sim.err.find(refusal(shared)), std::string::npos) << sim.err;

  const Finished daemon = run(
      KESTRUNED_BINARY, {"--socket", shared + "/cli.sock", "--config", scratch_.path() + "/config"},
      {"PULSE_SERVER=unix:" + scratch_.path() + "/no-server", "HOME=" + scratch_.path()}, 20s);
  EXPECT_EQ(daemon.status, 1);
  EXPECT_NE(daemon.err.find(refusal(shared)), std::string::npos) << daemon.err;
  EXPECT_FALSE(std::filesystem::exists(shared + "/cli.sock"));
}

TEST_F(HostileNeighbourTest, AnOversizeNameIsRefusedAndALongOneIsNotFound) {
  const std::string socket = scratch_.path() + "/cli.sock";
  Process sim(KESTRUNE_SIM_BINARY, {"--socket", socket}, {}, scratch_.path() + "/sim.log");
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(socket); })) << sim.log();

  // Said like any failure the server answers (same exit status too).
  const Finished huge =
      run(KESTRUNE_BINARY, {"app", "volume", std::string(100000, 'a'), "30", "--socket", socket});
  EXPECT_NE(huge.err.find("Invalid request: message too large: "), std::string::npos) << huge.err;
  EXPECT_NE(huge.err.find(" bytes (max 65536)"), std::string::npos) << huge.err;

  const Finished longName =
      run(KESTRUNE_BINARY, {"app", "volume", std::string(60000, 'a'), "30", "--socket", socket});
  EXPECT_EQ(longName.err.rfind("Error: App not found: ", 0), 0U) << longName.err.substr(0, 200);
}

// Two daemons on one configuration would each save over what the other
// remembers: the second says who holds it and leaves, in either directory.
TEST_F(HostileNeighbourTest, OneDaemonPerConfigurationAndStateDirectory) {
  const std::vector<std::string> noServer = {"PULSE_SERVER=unix:" + scratch_.path() + "/no-server",
                                             "HOME=" + scratch_.path()};
  auto first = std::make_unique<Daemon>(noServer, scratch_.path());
  const auto refusal = [&](const std::string& directory) {
    return "kestruned: Another kestruned (process " + std::to_string(first->process().pid()) +
           ", socket " + first->socketPath() + ") already uses \"" + directory +
           "\"; stop it, or give this one another --config.\n";
  };
  const std::string other = scratch_.path() + "/other.sock";
  const Finished sameConfig = run(
      KESTRUNED_BINARY, {"--socket", other, "--config", first->configDirectory()}, noServer, 20s);
  EXPECT_EQ(sameConfig.status, 1);
  EXPECT_EQ(sameConfig.err, refusal(first->configDirectory()));
  EXPECT_FALSE(std::filesystem::exists(other));

  // Only the state directory shared, reached through a link.
  const std::string state = scratch_.path() + "/state";
  std::filesystem::create_directory(state);
  std::filesystem::create_directory_symlink(first->configDirectory(), state + "/kestrune");
  std::vector<std::string> sameState = noServer;
  sameState.push_back("XDG_CONFIG_HOME=" + scratch_.path() + "/own-config");
  sameState.push_back("XDG_STATE_HOME=" + state);
  const Finished shared = run(KESTRUNED_BINARY, {"--socket", other}, sameState, 20s);
  EXPECT_EQ(shared.status, 1);
  EXPECT_EQ(shared.err, refusal(state + "/kestrune"));

  // A holder that died holds nothing.
  first->process().signal(SIGKILL);
  first->process().wait(5s);
  std::filesystem::remove(first->socketPath());
  first = std::make_unique<Daemon>(noServer, scratch_.path());
  EXPECT_TRUE(first->process().running());
}

}  // namespace
}  // namespace kestrune::daemon::testing
