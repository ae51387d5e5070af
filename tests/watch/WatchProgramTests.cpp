// kestrune-watch against a real kestrune-sim on a private socket, changed
// through the kestrune command line.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>

#include "client/FeedClient.h"
#include "json/Value.h"
#include "platform/TestSupport.h"
#include "sim/SimProcess.h"
#include "support/HostileNames.h"
#include "watch/WatchProcess.h"

using namespace kestrune;
using kestrune::sim::testing::Finished;
using kestrune::sim::testing::runToEnd;
using kestrune::sim::testing::SimProcess;
using kestrune::watch::testing::WatchProcess;

namespace {

const std::string daemonLine = R"({"event":"daemon","running":false})";

std::set<std::string> keysOf(const json::Value& value) {
  std::set<std::string> keys;
  if (value.isObject()) {
    for (const auto& [key, member] : value.asObject()) {
      keys.insert(key);
    }
  }
  return keys;
}

const json::Value& member(const json::Value& value, std::string_view key) {
  static const json::Value missing;
  const json::Value* found = value.find(key);
  return found != nullptr ? *found : missing;
}

// Member order aside, as the CLI's pretty JSON sorts the keys.
std::string sorted(const json::Value& value) {
  return json::writePretty(value);
}

class WatchProgramTest : public ::testing::Test {
 protected:
  // From its built-in state, or from `state` (the text of a state file).
  void startSim(const std::string& state = {}) {
    sim_.reset();  // the one before, if any, is gone first
    std::vector<std::string> arguments{"--socket", socket_};
    if (!state.empty()) {
      const std::string file = dir_ / "state.json";
      std::ofstream(file, std::ios::binary) << state;
      arguments.insert(arguments.end(), {"--state", file});
    }
    sim_ = std::make_unique<SimProcess>(arguments, dir_.path());
    ASSERT_TRUE(sim_->waitForError("listening on")) << sim_->errorOutput();
  }

  void stopSim(int signal) {
    sim_->signal(signal);
    sim_->wait();
    sim_.reset();
  }

  std::unique_ptr<WatchProcess> watch(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), {"--socket", socket_});
    return std::make_unique<WatchProcess>(arguments, dir_.path());
  }

  Finished kestrune(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--socket", socket_});
    Finished finished = runToEnd(KESTRUNE_BINARY, arguments, dir_.path());
    EXPECT_EQ(finished.status, 0) << finished.err;
    return finished;
  }

  // The payload of a `kestrune ... --json` reply.
  json::Value payload(std::vector<std::string> arguments, std::string_view kind) {
    arguments.emplace_back("--json");
    const json::Value reply = json::parse(kestrune(std::move(arguments)).out);
    return member(member(member(reply, "data"), kind), "_0");
  }

  static void expectEndsCleanly(WatchProcess& process) {
    process.signal(SIGTERM);
    EXPECT_EQ(process.wait(), 0) << process.errorOutput();
  }

  testing_support::TemporaryDirectory dir_;
  std::string socket_ = dir_ / "cli.sock";
  std::unique_ptr<SimProcess> sim_;
};

}  // namespace

TEST_F(WatchProgramTest, PrintsTheSnapshotThenEachChangeAsItsEvent) {
  startSim();
  auto process = watch();
  const json::Value snapshot = process->nextJSON();
  EXPECT_EQ(keysOf(snapshot),
            (std::set<std::string>{"event", "status", "devices", "apps", "media", "bluetooth"}));
  EXPECT_EQ(member(snapshot, "event"), json::Value("snapshot"));
  // The records are those of the command line's replies.
  EXPECT_EQ(sorted(member(snapshot, "status")), sorted(payload({"status"}, "status")));
  EXPECT_EQ(sorted(member(snapshot, "apps")), sorted(payload({"app", "list"}, "apps")));

  kestrune({"volume", "set", "40"});
  const json::Value device = member(process->nextEvent("device"), "device");
  EXPECT_EQ(member(device, "uid"),
            member(member(member(snapshot, "status"), "outputDevice"), "uid"));
  EXPECT_EQ(member(device, "volume"), json::Value(40));
  EXPECT_EQ(member(member(process->nextEvent("status"), "status"), "outputVolume"),
            json::Value(40));

  kestrune({"app", "volume", "Music", "30"});
  const json::Value app = member(process->nextEvent("app"), "app");
  EXPECT_EQ(member(app, "name"), json::Value("Music"));
  EXPECT_EQ(member(app, "volume"), json::Value(30));

  kestrune({"silent-mode", "toggle"});
  const json::Value status = member(process->nextEvent("status"), "status");
  EXPECT_EQ(member(status, "isSilentMode"), json::Value(true));
  EXPECT_EQ(sorted(status), sorted(payload({"status"}, "status")));
  expectEndsCleanly(*process);
}

TEST_F(WatchProgramTest, OnlyNarrowsTheSnapshotAndTheEvents) {
  startSim();
  auto process = watch({"--only", "status,media"});
  EXPECT_EQ(keysOf(process->nextJSON()), (std::set<std::string>{"event", "status", "media"}));
  // Neither the app's change nor the device's shows before the status.
  kestrune({"app", "volume", "Music", "30"});
  kestrune({"volume", "set", "40"});
  const json::Value status = process->nextJSON();
  EXPECT_EQ(member(status, "event"), json::Value("status"));
  EXPECT_EQ(member(member(status, "status"), "outputVolume"), json::Value(40));
  kestrune({"media", "play-pause"});
  const json::Value media = process->nextJSON();
  EXPECT_EQ(member(media, "event"), json::Value("media"));
  EXPECT_EQ(member(member(media, "media"), "isPlaying"), json::Value(false));
  expectEndsCleanly(*process);
}

TEST_F(WatchProgramTest, FormatPrintsALineOnlyWhenItsTextChanges) {
  startSim();
  auto process = watch({"--format", "vol {volume} silent {silent} {{x}}"});
  EXPECT_EQ(process->nextLine(), "vol 50 silent false {x}");
  // The microphone's mute changes the status, not the text.
  kestrune({"mute", "toggle"});
  kestrune({"volume", "set", "41"});
  EXPECT_EQ(process->nextLine(), "vol 41 silent false {x}");
  kestrune({"silent-mode", "toggle"});
  EXPECT_EQ(process->nextLine(), "vol 41 silent true {x}");
  kestrune({"media", "play-pause"});  // not followed: the template reads no media
  kestrune({"volume", "set", "7"});
  EXPECT_EQ(process->nextLine(), "vol 7 silent true {x}");
  expectEndsCleanly(*process);
}

TEST_F(WatchProgramTest, FormatShowsTheControlsOfNamesSoEachChangeStaysOneLine) {
  startSim(kestrune::testing::hostileSimState);
  auto process =
      watch({"--format", "{playing} {title} - {artist} ({album}, {player}) on {output}"});
  EXPECT_EQ(process->nextLine(),
            "\u23F8 \\e[2JTitle - A\\nB (\\u202eAlbum, mpv\\r) on \\e]0;pwned\\a\\e[2J");
  kestrune({"device", "set", "mic", "--direction", "input"});  // not shown: no line
  kestrune({"media", "play-pause"});
  EXPECT_EQ(process->nextLine(),
            "\u25B6 \\e[2JTitle - A\\nB (\\u202eAlbum, mpv\\r) on \\e]0;pwned\\a\\e[2J");
  expectEndsCleanly(*process);
}

TEST_F(WatchProgramTest, BadCommandLinesExitWith64NamingTheProblem) {
  const Finished kind = runToEnd(KESTRUNE_WATCH_BINARY, {"--only", "status,volume"}, dir_.path());
  EXPECT_EQ(kind.status, 64);
  EXPECT_NE(kind.err.find("unknown kind 'volume'"), std::string::npos) << kind.err;
  EXPECT_NE(kind.err.find("kestrune-watch --help"), std::string::npos) << kind.err;
  EXPECT_EQ(kind.out, "");

  const Finished placeholder =
      runToEnd(KESTRUNE_WATCH_BINARY, {"--format", "{volume} {vol}"}, dir_.path());
  EXPECT_EQ(placeholder.status, 64);
  EXPECT_NE(placeholder.err.find("unknown placeholder '{vol}'"), std::string::npos)
      << placeholder.err;

  const Finished version = runToEnd(KESTRUNE_WATCH_BINARY, {"--version"}, dir_.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kestrune-watch 1.", 0), 0U) << version.out;
}

TEST_F(WatchProgramTest, WaitsForTheDaemonAndFollowsItAcrossRestarts) {
  // The socket's directory does not exist yet either.
  socket_ = dir_ / "later/cli.sock";
  auto process = watch();
  EXPECT_EQ(process->nextLine(), daemonLine);
  std::filesystem::create_directory(dir_ / "later");
  startSim();
  EXPECT_EQ(member(process->nextJSON(), "event"), json::Value("snapshot"));

  // Killed, its socket file left behind: nobody listens there.
  stopSim(SIGKILL);
  EXPECT_EQ(process->nextLine(), daemonLine);
  startSim();
  EXPECT_EQ(member(process->nextJSON(), "event"), json::Value("snapshot"));

  stopSim(SIGTERM);
  EXPECT_EQ(process->nextLine(), daemonLine);
  startSim();
  EXPECT_EQ(member(process->nextJSON(), "event"), json::Value("snapshot"));
  expectEndsCleanly(*process);
}

TEST_F(WatchProgramTest, FormatShowsTheEmptyTemplateWhileTheDaemonIsAway) {
  auto process = watch({"--format", "[{volume}|{title}]"});
  EXPECT_EQ(process->nextLine(), "[|]");
  startSim();
  EXPECT_EQ(process->nextLine(), "[50|Northern Lights]");
  stopSim(SIGTERM);
  EXPECT_EQ(process->nextLine(), "[|]");
  expectEndsCleanly(*process);
}

TEST_F(WatchProgramTest, AClosedOutputEndsItWithStatusZero) {
  auto waiting = watch();
  EXPECT_EQ(waiting->nextLine(), daemonLine);
  waiting->closeOutput();
  EXPECT_EQ(waiting->wait(), 0) << waiting->errorOutput();

  startSim();
  auto following = watch();
  EXPECT_EQ(member(following->nextJSON(), "event"), json::Value("snapshot"));
  following->closeOutput();
  EXPECT_EQ(following->wait(), 0) << following->errorOutput();

  auto interrupted = watch();
  EXPECT_EQ(member(interrupted->nextJSON(), "event"), json::Value("snapshot"));
  interrupted->signal(SIGINT);
  EXPECT_EQ(interrupted->wait(), 0) << interrupted->errorOutput();
}

TEST_F(WatchProgramTest, ARefusedSubscriptionIsReportedAndTriedAgain) {
  startSim();
  std::vector<std::unique_ptr<FeedClient>> others;
  for (int i = 0; i < 64; ++i) {
    others.push_back(std::make_unique<FeedClient>(Subscription{}, socket_));
    ASSERT_TRUE(others.back()->next()) << i;  // its snapshot: it is counted
  }
  auto process = watch();
  EXPECT_TRUE(process->waitForError("kestrune-watch: The subscription was refused: Too many"))
      << process->errorOutput();
  others.pop_back();
  EXPECT_EQ(member(process->nextJSON(), "event"), json::Value("snapshot"));
  expectEndsCleanly(*process);
}
