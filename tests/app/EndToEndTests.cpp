// The kestrune program against a running kestrune-sim. What the simulator
// answers is its own choice, so these tests check the shape of the output;
// the exact layouts are pinned by the rendering tests.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Subprocess.h"
#include "TempDirectory.h"
#include "support/HostileNames.h"

namespace kestrune {
namespace {

using testing::ProcessResult;
using testing::runProcess;
using testing::SimServer;

const std::vector<std::string> kTerminal = {"COLUMNS=80", "LINES=25"};

ProcessResult kestrune(const std::vector<std::string>& arguments) {
  return runProcess(KESTRUNE_BINARY, arguments, kTerminal);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    result.push_back(line);
  }
  return result;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words) {
    text += (text.empty() ? "" : " ") + word;
  }
  return text;
}

class EndToEndTest : public ::testing::Test {
 protected:
  // Runs a command against the simulator.
  ProcessResult ask(std::vector<std::string> arguments) {
    arguments.push_back("--socket");
    arguments.push_back(sim.socketPath());
    return kestrune(arguments);
  }

  SimServer sim;
};

TEST_F(EndToEndTest, EveryCommandIsAnsweredWithTextOnStandardOutput) {
  const std::vector<std::vector<std::string>> commands = {
      {"volume"},
      {"volume", "get"},
      {"volume", "set", "55.5"},
      {"volume", "up"},
      {"volume", "down"},
      {"mute"},
      {"mute", "on"},
      {"mute", "off"},
      {"mute", "toggle"},
      {"silent-mode"},
      {"silent-mode", "toggle"},
      {"device", "list"},
      {"device", "list", "-d", "input"},
      {"device", "current"},
      {"device", "current", "input"},
      {"device", "set", "USB-Studio2x2-0001"},
      {"device", "set", "USB-Studio2x2-0001", "--direction", "input"},
      {"device", "cycle"},
      {"device", "cycle", "input"},
      {"app", "list"},
      {"app", "volume", "Music"},
      {"app", "volume", "Music", "150"},
      {"app", "mute", "Music"},
      {"app", "mute", "Music", "off"},
      {"app", "solo", "Safari"},
      {"app", "eq", "get", "Music"},
      {"app", "eq", "set", "Music", "flat"},
      {"app", "device", "get", "Music"},
      {"app", "device", "set", "Music", "default"},
      {"profile", "list"},
      {"profile", "apply", "Movie Night"},
      {"media", "play-pause"},
      {"media", "next"},
      {"media", "previous"},
      {"media", "forward"},
      {"media", "backward", "30"},
      {"media", "shuffle"},
      {"media", "repeat"},
      {"media", "volume"},
      {"media", "volume", "35"},
      {"media", "info"},
      {"bluetooth"},
      {"bluetooth", "list"},
      {"panel"},
      {"panel", "toggle"},
      {"status"},
      {"version"},
  };
  for (const auto& command : commands) {
    const ProcessResult result = ask(command);
    EXPECT_EQ(result.status, 0) << joined(command);
    EXPECT_EQ(result.err, "") << joined(command);
    EXPECT_FALSE(result.out.empty()) << joined(command);
    EXPECT_EQ(result.out.back(), '\n') << joined(command);
  }
}

TEST_F(EndToEndTest, ChangesAreVisibleToTheNextCommand) {
  EXPECT_EQ(ask({"volume", "set", "40"}).status, 0);
  EXPECT_EQ(lines(ask({"volume"}).out).at(0), "40%");
  EXPECT_EQ(lines(ask({"app", "volume", "Music", "150"}).out).at(0), "Music");
  EXPECT_EQ(lines(ask({"app", "volume", "Music"}).out).at(0), "150%");
}

TEST_F(EndToEndTest, ListsPrintAlignedTables) {
  const auto devices = lines(ask({"device", "list"}).out);
  ASSERT_GE(devices.size(), 3u);
  EXPECT_TRUE(startsWith(devices[0], "UID  ")) << devices[0];
  EXPECT_NE(devices[0].find("  NAME  "), std::string::npos);
  EXPECT_TRUE(startsWith(devices[1], "───")) << devices[1];
  // Every row is padded to the same number of characters as the header.
  const auto width = [](const std::string& line) {
    std::size_t count = 0;
    for (const char c : line) {
      count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
  };
  for (const auto& line : devices) {
    EXPECT_EQ(width(line), width(devices[0])) << line;
  }
  const auto apps = lines(ask({"app", "list"}).out);
  ASSERT_GE(apps.size(), 3u);
  EXPECT_TRUE(startsWith(apps[0], "APP  ")) << apps[0];
  for (const auto& line : apps) {
    EXPECT_EQ(width(line), width(apps[0])) << line;
  }
  const auto profiles = lines(ask({"profile", "list"}).out);
  ASSERT_GE(profiles.size(), 3u);
  EXPECT_TRUE(startsWith(profiles[0], "NAME  ")) << profiles[0];
  const auto bluetooth = lines(ask({"bluetooth"}).out);
  ASSERT_GE(bluetooth.size(), 3u);
  EXPECT_TRUE(startsWith(bluetooth[0], "DEVICE  ")) << bluetooth[0];
}

TEST_F(EndToEndTest, DetailBlocksStartWithTheirTitleLine) {
  const auto status = lines(ask({"status"}).out);
  ASSERT_GE(status.size(), 8u);
  EXPECT_TRUE(startsWith(status[0], "Kestrune v")) << status[0];
  EXPECT_EQ(status[1], "  Running:      ✓");
  EXPECT_TRUE(startsWith(status.back(), "  CLI installed: ")) << status.back();
  const auto media = lines(ask({"media", "info"}).out);
  ASSERT_FALSE(media.empty());
  EXPECT_TRUE(startsWith(media[0], "▶ ") || startsWith(media[0], "⏸ ") ||
              media[0] == "Nothing playing")
      << media[0];
  const auto eq = lines(ask({"app", "eq", "get", "Music"}).out);
  ASSERT_FALSE(eq.empty());
  EXPECT_TRUE(startsWith(eq[0], "EQ: ")) << eq[0];
  const auto device = lines(ask({"device", "current"}).out);
  ASSERT_GE(device.size(), 3u);
  EXPECT_TRUE(startsWith(device[1], "  UID:       ")) << device[1];
  const auto version = lines(ask({"version"}).out);
  ASSERT_FALSE(version.empty());
  EXPECT_TRUE(startsWith(version[0], "Kestrune v")) << version[0];
  EXPECT_NE(version[0].find(" (build "), std::string::npos) << version[0];
}

TEST_F(EndToEndTest, JsonPrintsTheWholeEnvelope) {
  const ProcessResult volume = ask({"volume", "set", "42.5", "--json"});
  EXPECT_EQ(volume.status, 0);
  EXPECT_EQ(volume.err, "");
  EXPECT_TRUE(
      startsWith(volume.out, "{\n  \"data\" : {\n    \"volume\" : {\n      \"_0\" : 42.5\n"))
      << volume.out;
  EXPECT_NE(volume.out.find("\n  \"success\" : true\n}\n"), std::string::npos) << volume.out;
  const ProcessResult status = ask({"status", "--json"});
  EXPECT_EQ(status.status, 0);
  EXPECT_TRUE(startsWith(status.out, "{\n  \"data\" : {\n    \"status\" : {\n")) << status.out;
}

TEST_F(EndToEndTest, ApplicationFailuresArePrintedButDoNotChangeTheStatus) {
  const ProcessResult text = ask({"app", "volume", "No Such App"});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, "");
  EXPECT_TRUE(startsWith(text.err, "Error: ")) << text.err;
  EXPECT_EQ(lines(text.err).size(), 1u) << text.err;

  const ProcessResult json = ask({"profile", "apply", "No Such Profile", "--json"});
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.err, "");
  EXPECT_TRUE(startsWith(json.out, "{\n  \"error\" : ")) << json.out;
  EXPECT_NE(json.out.find("\n  \"success\" : false\n}\n"), std::string::npos) << json.out;
}

TEST_F(EndToEndTest, RangeChecksRefuseBeforeSending) {
  EXPECT_EQ(ask({"volume", "set", "100.5"}).err, "Error: Volume must be between 0 and 100.\n");
  const ProcessResult app = ask({"app", "volume", "Music", "200.5", "--json"});
  EXPECT_EQ(app.status, 64);
  EXPECT_EQ(app.out, "");
  EXPECT_EQ(app.err, "Error: Volume must be between 0 and 200.\n");
  // The refused value never reached the application.
  EXPECT_EQ(lines(ask({"app", "volume", "Music"}).out).at(0), "80%");
  const ProcessResult media = ask({"media", "volume", "101"});
  EXPECT_EQ(media.status, 64);
  EXPECT_EQ(media.err, "Error: Volume must be between 0 and 100.\n");
}

TEST_F(EndToEndTest, AnAnswerThatCannotBeWrittenIsAFailure) {
  const ProcessResult result =
      runProcess("/bin/sh",
                 {"-c", std::string("\"$0\" status --socket \"$1\" >/dev/full"), KESTRUNE_BINARY,
                  sim.socketPath()},
                 kTerminal);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Error: Could not write to standard output.\n");
}

// Names from other programs reach the terminal with their controls shown,
// never acting: one record a line, columns aligned, nothing retitling or
// clearing the screen. JSON keeps them, escaped as JSON escapes them.
TEST(HostileNamesTest, EveryTextShowsItsControlsVisiblyOneRecordALine) {
  const SimServer sim(testing::hostileSimState);
  const auto ask = [&sim](std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--socket", sim.socketPath()});
    const ProcessResult result = kestrune(arguments);
    EXPECT_EQ(result.status, 0) << joined(arguments);
    return result.out + result.err;
  };
  EXPECT_EQ(ask({"app", "list"}),
            "APP                VOLUME  MUTED  DEVICE             EQ  \n"
            "─────────────────  ──────  ─────  ─────────────────  ────\n"
            "\\e]0;pwned\\a\\e[2J  80%            default            —   \n"
            "Two\\nLines\\r       50%     ✓      \\e]0;pwned\\a\\e[2J  —   \n"
            "\\u202eevil\\u2069   100%           default            rock\n");
  EXPECT_EQ(ask({"app", "volume", "Nope", "5"}),
            "Error: App not found: \"Nope\". Running apps: \\e]0;pwned\\a\\e[2J, Two\\nLines\\r, "
            "\\u202eevil\\u2069\n");
  EXPECT_EQ(ask({"device", "list"}),
            "UID  NAME               TYPE       I/O  DEFAULT\n"
            "───  ─────────────────  ─────────  ───  ───────\n"
            "spk  \\e]0;pwned\\a\\e[2J  Built-in   O    ✓      \n"
            "mic  Mic\\nphone         USB\\u2066  I    ✓      \n");
  EXPECT_EQ(ask({"device", "current", "input"}),
            "Mic\\nphone\n"
            "  UID:       mic\n"
            "  Transport: USB\\u2066\n"
            "  Type:      Input\n"
            "  Default:   ✓\n");
  EXPECT_EQ(ask({"media", "info"}),
            "⏸ \\e[2JTitle\n"
            "  Artist: A\\nB\n"
            "  Album:  \\u202eAlbum\n"
            "  Player: mpv\\r\n"
            "  Time:   0:10 / 1:40\n"
            "  Volume: 50%\n");
  EXPECT_EQ(ask({"bluetooth"}),
            "DEVICE         BATTERY\n"
            "─────────────  ───────\n"
            "Buds\\u009b31m  50%    \n");
  EXPECT_EQ(ask({"profile", "list"}),
            "NAME        APPS\n"
            "──────────  ────\n"
            "Night\\e[8m  0   \n");
  const std::string status = ask({"status"});
  EXPECT_NE(status.find("\n  Output:       \\e]0;pwned\\a\\e[2J\n"
                        "  Input:        Mic\\nphone\n"
                        "  Volume:       50%\n"),
            std::string::npos)
      << status;

  const std::string json = ask({"app", "list", "--json"});
  EXPECT_NE(json.find(R"("name" : "\u001b]0;pwned\u0007\u001b[2J")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("name" : "Two\nLines\r")"), std::string::npos) << json;
}

TEST(NotRunningTest, ClientFailuresExitWithStatusOne) {
  testing::TempDirectory dir;
  const std::string missing = dir / "missing.sock";
  const std::string notRunning = "Error: Kestrune is not running. Launch the app first.\n";
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"volume", "--socket", missing},
                                             {"version", "--json", "--socket", missing},
                                             {"status", "--socket", ""}}) {
    const ProcessResult result = kestrune(arguments);
    EXPECT_EQ(result.status, 1) << joined(arguments);
    EXPECT_EQ(result.out, "") << joined(arguments);
    EXPECT_EQ(result.err, notRunning) << joined(arguments);
  }
  // The range check comes first, whether or not the application runs.
  const ProcessResult refused = kestrune({"volume", "set", "--socket", missing, "--", "-5"});
  EXPECT_EQ(refused.status, 64);
  EXPECT_EQ(refused.err, "Error: Volume must be between 0 and 100.\n");
}

TEST(NotRunningTest, ASocketFileWithoutListenerIsNotResponding) {
  testing::TempDirectory dir;
  const std::string stale = dir.write("stale.sock", "");
  const ProcessResult result = kestrune({"mute", "--socket", stale});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(startsWith(result.err, "Error: ")) << result.err;
}

TEST(ProgramVersionTest, IsUnknownOutsideABundleAndReadFromInfoPlistInside) {
  EXPECT_EQ(kestrune({"--version"}).out, "unknown\n");

  testing::TempDirectory dir;
  dir.write("Kestrune.app/Contents/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            "<key>CFBundleShortVersionString</key><string>7.3.1</string>\n"
            "</dict>\n</plist>\n");
  const std::string helper = dir / "Kestrune.app/Contents/Helpers/kestrune";
  std::filesystem::create_directories(dir / "Kestrune.app/Contents/Helpers");
  std::filesystem::copy_file(KESTRUNE_BINARY, helper);
  std::filesystem::create_directories(dir / "bin");
  std::filesystem::create_symlink(helper, dir / "bin/kestrune");
  const ProcessResult result = runProcess(dir / "bin/kestrune", {"--version"}, kTerminal);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "7.3.1\n");
}

}  // namespace
}  // namespace kestrune
