#pragma once
// A private X desktop for kestruned's panel tests: Xvfb on a free display,
// openbox on it and a session bus of its own. The panels kestruned starts
// there are found on that bus and stopped by process id with the desktop,
// as is the accessibility bus the session bus starts for them.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DaemonFixture.h"
#include "daemon/dbus/Peers.h"

namespace kestrune::daemon::testing {

// The programs the desktop and its observers need that are missing here,
// by the Debian packages that install them; empty when all are there.
std::string missingDesktopTools();
// The same for the accessibility tree (at-spi2-core, python3-pyatspi).
std::string missingAccessibilityTools();

class PanelDesktop {
 public:
  explicit PanelDesktop(const std::string& directory);
  PanelDesktop(const PanelDesktop&) = delete;
  PanelDesktop& operator=(const PanelDesktop&) = delete;
  ~PanelDesktop();

  // What a program of this desktop session has in its environment.
  std::vector<std::string> environment() const;
  // The same with Qt's bridge to the accessibility bus always on, as a
  // screen reader running would turn it on.
  std::vector<std::string> accessibleEnvironment() const;
  const std::string& busAddress() const { return bus_.address(); }

  // The process owning org.kestrune.Panel on this desktop's bus.
  std::optional<pid_t> panelProcess() const;
  // Whether a window titled "Kestrune" is mapped, as xdotool sees it.
  bool panelMapped() const;
  // Stops the panel that owns the name, by its process id.
  void stopPanel();

  // One object of the panel's accessibility tree, as a screen reader sees it.
  struct Accessible {
    std::string role;
    std::string name;
    bool showing = false;
    std::optional<double> value;
    bool checked = false;
  };
  // The running panel's tree (tests/panel/accessible_tree.py); empty while
  // the panel is not on the accessibility bus.
  std::vector<Accessible> accessibleTree() const;
  // Does the first action (a button's press) of the object named `name`,
  // as a screen reader's user would; false when there is none.
  bool press(const std::string& name) const;
  // The object of that name in the tree, if there is one.
  static std::optional<Accessible> find(const std::vector<Accessible>& tree,
                                        const std::string& name);

 private:
  void stopAccessibilityBus();

  std::string display_;
  // The accessibility bus's socket goes here rather than in the shared
  // ~/.cache, so desktops running at once keep their own.
  std::string runtimeDirectory_;
  std::unique_ptr<Process> xvfb_;
  std::unique_ptr<Process> windowManager_;
  kestrune::testing::PrivateBus bus_;
};

// The process ids whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent);
// The session id of a process, from /proc; nothing once it is gone.
std::optional<pid_t> sessionOf(pid_t process);
// Whether the process is gone (or a zombie waiting for its parent).
bool processGone(pid_t process);

}  // namespace kestrune::daemon::testing
