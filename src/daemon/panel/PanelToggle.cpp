#include "daemon/panel/PanelToggle.h"

#include <cstdlib>
#include <utility>

#include "daemon/panel/Launch.h"

namespace kestrune::daemon::panel {

namespace {

using dbus::Clock;

constexpr const char* panelProgramName = "kestrune-panel";

CLIResponse note(std::string message) {
  return CLIResponse{true, std::nullopt, std::nullopt, std::move(message)};
}

CLIResponse failure(std::string error) {
  return CLIResponse{false, std::nullopt, std::move(error), std::nullopt};
}

CLIResponse opened() {
  return note("Menu panel opened.");
}

std::string seconds(std::chrono::milliseconds time) {
  const auto whole = std::chrono::duration_cast<std::chrono::seconds>(time).count();
  return std::to_string(whole) + (whole == 1 ? " second" : " seconds");
}

bool nonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

// No one owns the panel's name: no panel runs.
bool noPanel(const dbus::Error& error) {
  return error.is(dbus::errorNames::nameHasNoOwner) || error.is(dbus::errorNames::serviceUnknown);
}

dbus::Result<bool> nameHasOwner(dbus::Bus& bus, Clock::time_point deadline) {
  auto reply = bus.call(dbus::MethodCall{"org.freedesktop.DBus",
                                         "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus",
                                         "NameHasOwner",
                                         {std::string(panelBusName)}},
                        deadline);
  if (!reply) {
    return reply.error();
  }
  auto owned = dbus::firstArgument(*reply);
  if (!owned) {
    return owned.error();
  }
  return owned->boolean().value_or(false);
}

// Waits for a panel just started to take its name, woken by the bus's
// announcement rather than by polling.
bool waitForName(dbus::Bus& bus, Clock::time_point deadline) {
  bool appeared = false;
  auto watch = bus.matchSignal(dbus::signalRule({{"sender", "org.freedesktop.DBus"},
                                                 {"member", "NameOwnerChanged"},
                                                 {"arg0", panelBusName}}),
                               [&appeared](dbus::Message&) { appeared = true; });
  if (!watch) {
    return false;
  }
  // Asked after the match: a name taken in between is seen either way.
  auto owned = nameHasOwner(bus, deadline);
  appeared = appeared || (owned && *owned);
  while (!appeared && Clock::now() < deadline) {
    if (!bus.waitUntil(deadline)) {
      return false;
    }
  }
  return appeared;
}

}  // namespace

bool environmentNamesDisplay() {
  return nonEmptyEnvironment("WAYLAND_DISPLAY") || nonEmptyEnvironment("DISPLAY");
}

PanelToggle::PanelToggle(PanelToggleOptions options) : options_(std::move(options)) {}

CLIResponse PanelToggle::toggle() {
  auto bus = connected();
  if (!bus) {
    return failure("The menu panel cannot be reached: there is no session bus (" +
                   bus.error().describe() + ").");
  }
  auto reply = callPanel(**bus, "Toggle");
  if (!reply && reply.error().disconnected()) {
    // The bus restarted since the last request: once more on a new connection.
    bus_.reset();
    bus = connected();
    if (!bus) {
      return failure("The menu panel cannot be reached: there is no session bus.");
    }
    reply = callPanel(**bus, "Toggle");
  }
  if (!reply) {
    if (noPanel(reply.error())) {
      return startPanel(**bus);
    }
    if (reply.error().timedOut()) {
      return failure("The menu panel did not answer within " + seconds(options_.answerTime) + ".");
    }
    return failure("The menu panel could not be toggled: " + reply.error().describe() + ".");
  }
  auto state = dbus::firstArgument(*reply);
  return state && state->string() == "closed" ? note("Menu panel closed.") : opened();
}

dbus::Result<dbus::Bus*> PanelToggle::connected() {
  if (!bus_ || !bus_->isOpen()) {
    auto bus = dbus::Bus::session();
    if (!bus) {
      return bus.error();
    }
    bus_.emplace(std::move(*bus));
  }
  return &*bus_;
}

dbus::Result<dbus::Message> PanelToggle::callPanel(dbus::Bus& bus, const char* member) {
  dbus::MethodCall call{panelBusName, panelObjectPath, panelInterface, member, {}};
  call.autoStart = false;
  return bus.call(call, Clock::now() + options_.answerTime);
}

CLIResponse PanelToggle::startPanel(dbus::Bus& bus) {
  if (!environmentNamesDisplay()) {
    return failure(
        "No menu panel is running and no display is known: start kestrune-panel in your "
        "desktop session.");
  }
  const auto program = panelProgram();
  if (!program) {
    return failure("No menu panel is running, and kestrune-panel is not installed.");
  }
  if (const auto failed = launchDetached(*program, {"--socket", options_.socketPath, "--show"})) {
    return failure("kestrune-panel could not be started: " + failed->describe() + ".");
  }
  if (!waitForName(bus, Clock::now() + options_.startTime)) {
    return failure("kestrune-panel was started but did not appear on the session bus within " +
                   seconds(options_.startTime) + ": is the display reachable?");
  }
  // Asked to open at start; asked again, as a panel that ignored that
  // (an older one) would stay hidden.
  auto shown = callPanel(bus, "Show");
  if (!shown) {
    return failure("kestrune-panel was started but did not open: " + shown.error().describe() +
                   ".");
  }
  return opened();
}

std::optional<std::string> PanelToggle::panelProgram() const {
  if (!options_.panelProgram.empty()) {
    return options_.panelProgram;
  }
  const char* path = std::getenv("PATH");
  return findBesideOrOnPath(panelProgramName, ownExecutable(), path != nullptr ? path : "");
}

}  // namespace kestrune::daemon::panel
