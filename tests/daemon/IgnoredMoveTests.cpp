// Moves the sound server acknowledges but never carries out: a PipeWire
// whose session manager is told not to move streams that are already
// linked, so that its pulse server says yes to every move and nothing
// changes. Such a move is the one a busy session manager drops now and
// then; here it is dropped every time, so the daemon's answer must say so.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "DaemonFixture.h"

namespace kestrune::daemon::testing {
namespace {

using ::testing::HasSubstr;

constexpr std::string_view eqSinkPrefix = "kestrune_eq.";

// Session manager settings that keep every stream on the sink it was first
// linked to.
void keepStreamsWhereTheyAre(const std::string& serverDirectory) {
  const std::filesystem::path scripts =
      std::filesystem::path(serverDirectory) / "home/.config/wireplumber/policy.lua.d";
  std::filesystem::create_directories(scripts);
  std::ofstream out(scripts / "60-kestrune-tests-no-moves.lua");
  out << "default_policy.policy[\"move\"] = false\n";
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write " + scripts.string());
  }
}

std::size_t eqSinkCount(const SoundServer& server) {
  std::size_t count = 0;
  std::istringstream lines(server.pactl({"list", "short", "sinks"}));
  for (std::string line; std::getline(lines, line);) {
    count += line.find(eqSinkPrefix) != std::string::npos ? 1 : 0;
  }
  return count;
}

class IgnoredMoveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    keepStreamsWhereTheyAre(serverDirectory_.path());
    server_ = std::make_unique<SoundServer>(ServerKind::pipeWire, serverDirectory_.path());
    player_ = std::make_unique<Player>(*server_, "Music");
    ASSERT_TRUE(eventually(
        [&] { return sinksOfClient(*server_, "Music") == std::vector<std::string>{"speakers"}; }));
    daemon_ = std::make_unique<Daemon>(*server_, daemonDirectory_.path());
    ASSERT_TRUE(eventually([&] {
      return daemon_->kestrune({"app", "volume", "Music"}).status == 0;
    }));
  }

  ScratchDirectory serverDirectory_;
  ScratchDirectory daemonDirectory_;
  std::unique_ptr<SoundServer> server_;
  std::unique_ptr<Player> player_;
  std::unique_ptr<Daemon> daemon_;
};

TEST_F(IgnoredMoveTest, AMoveThatDoesNotHappenIsReportedAndLeavesNothingBehind) {
  const Finished moved = daemon_->kestrune({"app", "device", "set", "Music", "headphones"});
  EXPECT_EQ(moved.out, "");
  EXPECT_THAT(moved.err, HasSubstr("The sound server did not move Music to Headphones."));
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"speakers"});

  // The equaliser the stream would not move onto is not kept.
  const Finished equalized = daemon_->kestrune({"app", "eq", "set", "Music", "rock"});
  EXPECT_EQ(equalized.out, "");
  EXPECT_THAT(equalized.err, HasSubstr("The sound server did not move Music to"));
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"speakers"});
  EXPECT_TRUE(eventually([&] { return eqSinkCount(*server_) == 0; }))
      << server_->pactl({"list", "short", "sinks"});
  EXPECT_THAT(daemon_->ask({"app", "eq", "get", "Music"}), HasSubstr("Disabled"));
}

}  // namespace
}  // namespace kestrune::daemon::testing
