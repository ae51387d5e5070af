// `kestrune panel toggle` through the real kestruned on a private X desktop
// with the real kestrune-panel: the window is observed with xdotool and the
// panel's process on the session bus and in /proc, not through the answers.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "DaemonFixture.h"
#include "PanelToggleDesktop.h"
#include "json/Errors.h"
#include "protocol/Coding.h"

#ifdef KESTRUNE_PANEL_BINARY

namespace kestrune::daemon::testing {
namespace {

using namespace std::chrono_literals;

CLIResponse toggle(const Daemon& daemon) {
  const Finished asked = daemon.kestrune({"panel", "toggle", "--json"});
  return decodeCLIResponse(asked.out);
}

std::string commandLineOf(pid_t process) {
  std::ifstream in("/proc/" + std::to_string(process) + "/cmdline", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::replace(text.begin(), text.end(), '\0', ' ');
  return text;
}

class PanelToggleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = missingDesktopTools(); !missing.empty()) {
      GTEST_SKIP() << "not installed here: " << missing;
    }
    server_ = std::make_unique<SoundServer>(ServerKind::pulseAudio, scratch_.path() + "/server");
    desktop_ = std::make_unique<PanelDesktop>(scratch_.path());
  }

  ScratchDirectory scratch_;
  std::unique_ptr<SoundServer> server_;
  std::unique_ptr<PanelDesktop> desktop_;
};

TEST_F(PanelToggleTest, StartsThePanelOnceThenClosesAndOpensIt) {
  Daemon daemon(*server_, scratch_.path(), desktop_->environment());
  ASSERT_FALSE(desktop_->panelProcess());

  const CLIResponse started = toggle(daemon);
  EXPECT_TRUE(started.success) << started.error.value_or("");
  EXPECT_EQ(started.message.value_or(""), "Menu panel opened.");
  ASSERT_TRUE(eventually([&] { return desktop_->panelMapped(); }, 10s));
  const auto panel = desktop_->panelProcess();
  ASSERT_TRUE(panel);
  // The installed panel beside kestruned, following the daemon's own socket,
  // in a session of its own, and no child of the daemon left behind.
  EXPECT_EQ(
      commandLineOf(*panel).rfind(KESTRUNE_PANEL_BINARY " --socket " + daemon.socketPath(), 0), 0U)
      << commandLineOf(*panel);
  EXPECT_NE(sessionOf(*panel), sessionOf(daemon.process().pid()));
  EXPECT_TRUE(childrenOf(daemon.process().pid()).empty());

  const CLIResponse closed = toggle(daemon);
  EXPECT_TRUE(closed.success);
  EXPECT_EQ(closed.message.value_or(""), "Menu panel closed.");
  EXPECT_TRUE(eventually([&] { return !desktop_->panelMapped(); }));

  const CLIResponse opened = toggle(daemon);
  EXPECT_EQ(opened.message.value_or(""), "Menu panel opened.");
  EXPECT_TRUE(eventually([&] { return desktop_->panelMapped(); }));
  EXPECT_EQ(desktop_->panelProcess(), panel) << "a second panel was started";
}

TEST_F(PanelToggleTest, WithoutDisplayOrSessionBusItSaysHowToStartThePanel) {
  std::vector<std::string> withoutDisplay = desktop_->environment();
  withoutDisplay.emplace_back("DISPLAY=");
  {
    Daemon daemon(*server_, scratch_.path() + "/no-display", withoutDisplay);
    const CLIResponse answer = toggle(daemon);
    EXPECT_FALSE(answer.success);
    EXPECT_EQ(answer.error.value_or(""),
              "No menu panel is running and no display is known: start kestrune-panel in your "
              "desktop session.");
    EXPECT_FALSE(desktop_->panelProcess());
  }
  std::vector<std::string> withoutBus = desktop_->environment();
  withoutBus.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + scratch_.path() + "/no-bus");
  Daemon daemon(*server_, scratch_.path() + "/no-bus-daemon", withoutBus);
  const CLIResponse answer = toggle(daemon);
  EXPECT_FALSE(answer.success);
  EXPECT_NE(answer.error.value_or("").find("there is no session bus"), std::string::npos)
      << answer.error.value_or("");
  EXPECT_FALSE(desktop_->panelMapped());
}

}  // namespace
}  // namespace kestrune::daemon::testing

#endif
