// The panel that `kestrune panel toggle` started, as a screen reader sees it
// through the accessibility tree (AT-SPI, read with pyatspi): its sliders
// hold what pactl shows, and when kestruned or the sound server goes away
// it shows its one sentence in place of the controls until they are back.
// On PulseAudio and on PipeWire.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "DaemonFixture.h"
#include "PanelToggleDesktop.h"

#if defined(KESTRUNE_PANEL_BINARY) && defined(KESTRUNE_MANY_STREAMS_BINARY)

namespace kestrune::daemon::testing {
namespace {

using namespace std::chrono_literals;
using Tree = std::vector<PanelDesktop::Accessible>;

constexpr auto treeWait = 30s;

// The first channel's volume of a sink in percent, from pactl.
int sinkVolume(const SoundServer& server, const std::string& sink) {
  // "Volume: front-left: 65536 / 100% / 0.00 dB,   front-right: ..."
  const std::string shown = server.pactl({"get-sink-volume", sink});
  const auto slash = shown.find('/');
  return slash == std::string::npos ? -1 : std::stoi(shown.substr(slash + 1));
}

bool holds(const Tree& tree, const std::string& name, double value) {
  const auto object = PanelDesktop::find(tree, name);
  return object && object->showing && object->value && *object->value == value;
}

// The controls in view, or the sentence that says why there are none.
bool showsControls(const Tree& tree) {
  const auto volume = PanelDesktop::find(tree, "Output volume");
  const auto state = PanelDesktop::find(tree, "Panel state");
  return volume && volume->showing && !(state && state->showing);
}
bool showsItsSentence(const Tree& tree) {
  const auto volume = PanelDesktop::find(tree, "Output volume");
  const auto state = PanelDesktop::find(tree, "Panel state");
  return state && state->showing && !(volume && volume->showing);
}

class PanelAccessibilityTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    std::string missing = missingDesktopTools();
    const std::string forTree = missingAccessibilityTools();
    missing += (missing.empty() || forTree.empty() ? "" : " ") + forTree;
    if (GetParam() == ServerKind::pipeWire) {
      for (const char* program :
           {"/usr/bin/pipewire", "/usr/bin/wireplumber", "/usr/bin/pipewire-pulse"}) {
        if (::access(program, X_OK) != 0) {
          missing += std::string(missing.empty() ? "" : " ") + (program + 9);
        }
      }
    }
    if (!missing.empty()) {
      GTEST_SKIP() << "not installed here: " << missing;
    }
    server_ = std::make_unique<SoundServer>(GetParam(), scratch_.path() + "/server");
    desktop_ = std::make_unique<PanelDesktop>(scratch_.path());
  }

  void startDaemon() {
    // A daemon that was killed leaves its socket behind.
    std::filesystem::remove(scratch_.path() + "/kestruned.sock");
    daemon_ =
        std::make_unique<Daemon>(*server_, scratch_.path(), desktop_->accessibleEnvironment());
  }

  // Waits for the tree to satisfy `wanted`; the last tree read, for the report.
  template <class Wanted>
  bool treeShows(Wanted wanted, Tree& last) {
    return eventually(
        [&] {
          last = desktop_->accessibleTree();
          return wanted(last);
        },
        treeWait);
  }

  static std::string describe(const Tree& tree) {
    std::string text;
    for (const auto& object : tree) {
      text += object.role + " \"" + object.name + "\"" + (object.showing ? "" : " (hidden)") +
              (object.value ? " = " + std::to_string(*object.value) : "") + "\n";
    }
    return text;
  }

  ScratchDirectory scratch_;
  std::unique_ptr<SoundServer> server_;
  std::unique_ptr<PanelDesktop> desktop_;
  std::unique_ptr<Daemon> daemon_;
};

TEST_P(PanelAccessibilityTest, NamesTheSlidersWithPactlsVolumesAndSaysWhenKestruneIsGone) {
  const Player player(*server_, "Tone Player");
  ASSERT_TRUE(eventually([&] { return !clientVolumes(*server_, "Tone Player").empty(); }, 10s));
  startDaemon();
  ASSERT_TRUE(daemon_->kestrune({"panel", "toggle"}).status == 0);

  Tree tree;
  const int output = sinkVolume(*server_, "speakers");
  const int app = clientVolumes(*server_, "Tone Player").front();
  EXPECT_TRUE(treeShows(
      [&](const Tree& now) {
        return holds(now, "Output volume", output) && holds(now, "Volume of Tone Player", app);
      },
      tree))
      << "pactl: output " << output << ", app " << app << "\n"
      << describe(tree);

  // Changes made with pactl.
  server_->pactl({"set-sink-volume", "speakers", "37%"});
  const std::string stream = streamIndicesOfClient(*server_, "Tone Player").front();
  server_->pactl({"set-sink-input-volume", stream, "120%"});
  EXPECT_TRUE(treeShows(
      [&](const Tree& now) {
        return holds(now, "Output volume", 37) && holds(now, "Volume of Tone Player", 120);
      },
      tree))
      << describe(tree);

  // kestruned crashes, then comes back.
  daemon_->process().signal(SIGKILL);
  daemon_->process().wait(5s);
  EXPECT_TRUE(treeShows(showsItsSentence, tree)) << describe(tree);
  startDaemon();
  EXPECT_TRUE(treeShows(
      [](const Tree& now) { return showsControls(now) && holds(now, "Output volume", 37); }, tree))
      << describe(tree);

  // The sound server crashes, then comes back with its devices as new.
  server_->kill();
  EXPECT_TRUE(treeShows(showsItsSentence, tree)) << describe(tree);
  server_->start();
  EXPECT_TRUE(treeShows(
      [&](const Tree& now) {
        return showsControls(now) && holds(now, "Output volume", sinkVolume(*server_, "speakers"));
      },
      tree))
      << describe(tree);
}

bool sinkMuted(const SoundServer& server, const std::string& sink) {
  // "Mute: yes"
  return server.pactl({"get-sink-mute", sink}).find("yes") != std::string::npos;
}

// The output's mute is the sound server's own flag: the panel's button and
// the tray icon's middle click set it and leave the volume, a mute made with
// pactl shows and is undone from the panel. A hundred apps from one client
// each have their row in the tree.
TEST_P(PanelAccessibilityTest, OutputMuteIsTheServersFlagAndEveryAppHasItsRow) {
  startDaemon();
  ASSERT_TRUE(daemon_->kestrune({"panel", "toggle"}).status == 0);
  Tree tree;
  const auto muteShown = [&](bool on) {
    return [on](const Tree& now) {
      const auto mute = PanelDesktop::find(now, "Mute output");
      return mute && mute->showing && mute->checked == on;
    };
  };
  ASSERT_TRUE(treeShows(muteShown(false), tree)) << describe(tree);
  ASSERT_FALSE(sinkMuted(*server_, "speakers"));
  const int volume = sinkVolume(*server_, "speakers");

  ASSERT_TRUE(desktop_->press("Mute output"));
  EXPECT_TRUE(eventually([&] { return sinkMuted(*server_, "speakers"); }, 10s));
  EXPECT_EQ(volume, sinkVolume(*server_, "speakers"));
  EXPECT_TRUE(treeShows(muteShown(true), tree)) << describe(tree);

  // The tray icon's middle click, as a host sends it.
  const auto panel = desktop_->panelProcess();
  ASSERT_TRUE(panel.has_value());
  const auto clicked = kestrune::testing::runCommand(
      {"/usr/bin/busctl", "--address=" + desktop_->busAddress(), "call",
       "org.kde.StatusNotifierItem-" + std::to_string(*panel) + "-1", "/StatusNotifierItem",
       "org.kde.StatusNotifierItem", "SecondaryActivate", "ii", "0", "0"},
      {}, 5s);
  EXPECT_EQ(0, clicked.status) << clicked.out;
  EXPECT_TRUE(eventually([&] { return !sinkMuted(*server_, "speakers"); }, 10s));
  EXPECT_EQ(volume, sinkVolume(*server_, "speakers"));

  // Muted elsewhere: shown, and undone from the panel.
  server_->pactl({"set-sink-mute", "speakers", "1"});
  EXPECT_TRUE(treeShows(muteShown(true), tree)) << describe(tree);
  ASSERT_TRUE(desktop_->press("Mute output"));
  EXPECT_TRUE(eventually([&] { return !sinkMuted(*server_, "speakers"); }, 10s));
  EXPECT_EQ(volume, sinkVolume(*server_, "speakers"));

  const Process apps(KESTRUNE_MANY_STREAMS_BINARY, {"100", "Player"}, server_->environment(),
                     scratch_.path() + "/many_streams.log");
  EXPECT_TRUE(treeShows(
      [](const Tree& now) {
        for (int i = 1; i <= 100; ++i) {
          if (!PanelDesktop::find(now, "Volume of Player " + std::to_string(i))) {
            return false;
          }
        }
        return true;
      },
      tree))
      << describe(tree);
}

INSTANTIATE_TEST_SUITE_P(SoundServers, PanelAccessibilityTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& kind) { return nameOf(kind.param); });

}  // namespace
}  // namespace kestrune::daemon::testing

#endif
