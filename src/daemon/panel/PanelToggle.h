#pragma once
// `panel toggle` on Linux: the panel is kestrune-panel, a program of the
// user's desktop session that owns org.kestrune.Panel on the session bus.
// The daemon forwards the request to it, or starts it when none runs and
// the session has a display.
//
// Not thread-safe: one request at a time, on the thread that owns it.

#include <chrono>
#include <optional>
#include <string>

#include "daemon/dbus/Bus.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon::panel {

inline constexpr const char* panelBusName = "org.kestrune.Panel";
inline constexpr const char* panelObjectPath = "/org/kestrune/Panel";
inline constexpr const char* panelInterface = "org.kestrune.Panel";

struct PanelToggleOptions {
  // The socket the daemon serves, which a panel it starts follows.
  std::string socketPath;
  // The program to start; empty: kestrune-panel beside the daemon, else on
  // the PATH.
  std::string panelProgram;
  // How long a running panel has to answer.
  std::chrono::milliseconds answerTime{2000};
  // How long a panel just started has to appear on the bus.
  std::chrono::milliseconds startTime{5000};
};

class PanelToggle {
 public:
  explicit PanelToggle(PanelToggleOptions options);

  // Opens or closes the running panel, or starts one; says which.
  CLIResponse toggle();

 private:
  dbus::Result<dbus::Bus*> connected();
  dbus::Result<dbus::Message> callPanel(dbus::Bus& bus, const char* member);
  CLIResponse startPanel(dbus::Bus& bus);
  std::optional<std::string> panelProgram() const;

  PanelToggleOptions options_;
  // Kept between requests; dropped when the bus goes away.
  std::optional<dbus::Bus> bus_;
};

// Whether the environment names a display a desktop program can open
// (WAYLAND_DISPLAY or DISPLAY, not empty).
bool environmentNamesDisplay();

}  // namespace kestrune::daemon::panel
