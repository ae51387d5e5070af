// kestrune-sim as a program: its command line, readiness, signals, a second
// instance, the state file across restarts, and the real command-line tool
// talking to it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>

#include "SimProcess.h"
#include "client/CLIClient.h"
#include "platform/TestSupport.h"
#include "protocol/SocketPath.h"
#include "sim/SimCommandLine.h"

namespace kestrune::sim {
namespace {

using testing::Finished;
using testing::runToEnd;
using testing::SimProcess;
using testing_support::ScopedEnvironmentVariable;
using testing_support::TemporaryDirectory;

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

class SimProgramTest : public ::testing::Test {
 protected:
  TemporaryDirectory directory;
  std::string socket = directory / "run/cli.sock";

  std::string readyLine() const { return "kestrune-sim: listening on " + socket + "\n"; }

  Finished kestrune(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--socket", socket});
    return runToEnd(KESTRUNE_BINARY, arguments, directory.path());
  }

  Finished sim(const std::vector<std::string>& arguments) {
    return runToEnd(KESTRUNE_SIM_BINARY, arguments, directory.path());
  }
};

TEST_F(SimProgramTest, HelpAndUsageErrors) {
  const Finished help = sim({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("OVERVIEW: A simulated Kestrune application", 0), 0U);
  EXPECT_NE(help.out.find("USAGE: kestrune-sim [--socket <path>] [--state <file>]"),
            std::string::npos);

  const Finished unknown = sim({"--sock", "x"});
  EXPECT_EQ(unknown.status, 64);
  EXPECT_EQ(unknown.err,
            "kestrune-sim: Unknown option '--sock'\nRun 'kestrune-sim --help' for usage.\n");
  EXPECT_EQ(sim({"--socket"}).err,
            "kestrune-sim: Missing value for '--socket'\nRun 'kestrune-sim --help' for usage.\n");
  EXPECT_EQ(sim({"extra"}).status, 64);
  EXPECT_EQ(sim({"--timeout", "0"}).status, 64);
}

TEST_F(SimProgramTest, ParsesBothOptionFormsAndDefaultsToTheClientsPath) {
  const SimOptions options =
      parseSimArguments({"--socket=/tmp/a.sock", "--state", "s.json", "--timeout", "0.25"});
  EXPECT_EQ(options.socketPath, "/tmp/a.sock");
  EXPECT_EQ(options.stateFile, "s.json");
  EXPECT_EQ(options.connectionDeadline, std::chrono::milliseconds(250));

  {
    ScopedEnvironmentVariable data("XDG_DATA_HOME", directory.path());
    EXPECT_EQ(parseSimArguments({}).socketPath, directory / "Kestrune/cli.sock");
    EXPECT_EQ(defaultSocketPath(), CLIClient::defaultSocketPath());
  }
  ScopedEnvironmentVariable data("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(defaultSocketPath(), CLIClient::defaultSocketPath());
}

TEST_F(SimProgramTest, AnnouncesReadinessAndRemovesItsSocketOnSIGTERM) {
  SimProcess process({"--socket", socket}, directory.path());
  ASSERT_TRUE(process.waitForError(readyLine())) << process.errorOutput();
  EXPECT_TRUE(exists(socket));
  process.signal(SIGTERM);
  EXPECT_EQ(process.wait(), 0);
  EXPECT_EQ(process.errorOutput(), readyLine());
  EXPECT_FALSE(exists(socket));
}

TEST_F(SimProgramTest, StopsOnSIGINTToo) {
  SimProcess process({"--socket", socket}, directory.path());
  ASSERT_TRUE(process.waitForError(readyLine())) << process.errorOutput();
  process.signal(SIGINT);
  EXPECT_EQ(process.wait(), 0);
  EXPECT_FALSE(exists(socket));
}

TEST_F(SimProgramTest, ASecondInstanceRefusesToStartAndTheFirstGoesOn) {
  SimProcess first({"--socket", socket}, directory.path());
  ASSERT_TRUE(first.waitForError(readyLine())) << first.errorOutput();
  const Finished second = sim({"--socket", socket});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err,
            "kestrune-sim: Another server is already answering on \"" + socket + "\".\n");
  const Finished volume = kestrune({"volume"});
  EXPECT_EQ(volume.out, "50%\n");
  EXPECT_EQ(volume.status, 0);
}

TEST_F(SimProgramTest, TheCommandLineToolSeesChangesAndErrors) {
  SimProcess process({"--socket", socket}, directory.path());
  ASSERT_TRUE(process.waitForError(readyLine())) << process.errorOutput();
  EXPECT_EQ(kestrune({"volume", "set", "40"}).out, "40%\n");
  EXPECT_EQ(kestrune({"volume"}).out, "40%\n");
  EXPECT_EQ(kestrune({"mute", "toggle"}).out, "Muted\n");
  EXPECT_EQ(kestrune({"app", "volume", "café radio"}).out, "65%\n");
  const Finished missing = kestrune({"app", "mute", "Foo"});
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err,
            "Error: App not found: \"Foo\". Running apps: Music, Safari, Café Radio, Podcasts, "
            "Voice Memos, afplay\n");
  EXPECT_EQ(kestrune({"app", "device", "set", "Music", "default"}).out,
            "Music\n"
            "  ID:      412\n"
            "  Bundle:  com.apple.Music\n"
            "  Volume:  80%\n"
            "  Muted:   No\n"
            "  EQ:      rock\n"
            "  Balance: 0%\n"
            "Music now follows the default output device.\n");
  EXPECT_EQ(kestrune({"bluetooth"}).out,
            "DEVICE             BATTERY\n"
            "─────────────────  ───────\n"
            "Nimbus Headphones  80%    \n"
            "Kitchen Speaker    —      \n");
}

TEST_F(SimProgramTest, TheStateFileCarriesChangesAcrossRestarts) {
  const std::string stateFile = directory / "state.json";
  {
    SimProcess process({"--socket", socket, "--state", stateFile}, directory.path());
    ASSERT_TRUE(process.waitForError(readyLine())) << process.errorOutput();
    EXPECT_TRUE(exists(stateFile));
    EXPECT_EQ(kestrune({"volume", "set", "40"}).status, 0);
    EXPECT_EQ(kestrune({"silent-mode", "toggle"}).out, "Silent mode: on\n");
    process.signal(SIGTERM);
    ASSERT_EQ(process.wait(), 0);
  }
  SimProcess restarted({"--socket", socket, "--state", stateFile}, directory.path());
  ASSERT_TRUE(restarted.waitForError(readyLine())) << restarted.errorOutput();
  EXPECT_EQ(kestrune({"volume"}).out, "40%\n");
  EXPECT_EQ(kestrune({"silent-mode"}).out, "Silent mode: on\n");
}

TEST_F(SimProgramTest, AnUnusableStateFileStopsTheStartWithoutASocket) {
  const std::string stateFile = directory / "state.json";
  std::ofstream(stateFile) << "{\"format\": 1}";
  const Finished run = sim({"--socket", socket, "--state", stateFile});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("kestrune-sim: The state file \"" + stateFile + "\" is not usable: ", 0),
            0U)
      << run.err;
  EXPECT_FALSE(exists(socket));
  std::ifstream in(stateFile);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "{\"format\": 1}");
}

}  // namespace
}  // namespace kestrune::sim
