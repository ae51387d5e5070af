#include "PanelToggleDesktop.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kestrune::daemon::testing {

namespace {

using namespace std::chrono_literals;
namespace peers = ::kestrune::testing;

// The fields of /proc/PID/stat after the command's closing parenthesis:
// state, ppid, pgrp, session, ...
std::vector<std::string> statFields(pid_t process) {
  std::ifstream in("/proc/" + std::to_string(process) + "/stat");
  std::string line;
  std::getline(in, line);
  const auto close = line.rfind(')');
  if (close == std::string::npos) {
    return {};
  }
  std::istringstream rest(line.substr(close + 1));
  std::vector<std::string> fields;
  for (std::string field; rest >> field;) {
    fields.push_back(field);
  }
  return fields;
}

bool windowManagerRuns(const std::vector<std::string>& environment) {
  const auto root =
      peers::runCommand({"/usr/bin/xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}, environment, 2s);
  return root.out.find("window id") != std::string::npos;
}

// The process owning a name on the bus at `address`.
std::optional<pid_t> ownerOf(const std::string& address, const std::string& name) {
  const auto asked = peers::runCommand(
      {"/usr/bin/busctl", "--address=" + address, "call", "org.freedesktop.DBus",
       "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID", "s", name},
      {}, 5s);
  // "u 1234"
  if (asked.status != 0 || asked.out.rfind("u ", 0) != 0) {
    return std::nullopt;
  }
  return static_cast<pid_t>(std::stol(asked.out.substr(2)));
}

void stopProcess(pid_t process) {
  ::kill(process, SIGTERM);
  if (!eventually([&] { return processGone(process); }, 5s)) {
    ::kill(process, SIGKILL);
    static_cast<void>(eventually([&] { return processGone(process); }, 5s));
  }
}

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

}  // namespace

std::string missingAccessibilityTools() {
  if (::access("/usr/libexec/at-spi-bus-launcher", X_OK) != 0) {
    return "at-spi2-core";
  }
  const auto found = peers::runCommand({"/usr/bin/python3", "-c", "import pyatspi"}, {}, 10s);
  return found.status == 0 ? "" : "python3-pyatspi";
}

std::string missingDesktopTools() {
  const std::vector<std::pair<std::string, std::string>> tools = {
      {"/usr/bin/Xvfb", "xvfb"},
      {"/usr/bin/openbox", "openbox"},
      {"/usr/bin/xprop", "x11-utils"},
      {"/usr/bin/xdotool", "xdotool"},
      {"/usr/bin/pulseaudio", "pulseaudio"},
      {"/usr/bin/pactl", "pulseaudio-utils"},
      {"/usr/bin/dbus-daemon", "dbus-daemon"},
      {"/usr/bin/busctl", "systemd"}};
  std::string missing;
  for (const auto& [program, package] : tools) {
    if (::access(program.c_str(), X_OK) != 0) {
      missing += (missing.empty() ? "" : " ") + package;
    }
  }
  return missing;
}

namespace {

// The pid an X server wrote in its lock file, or -1 while there is none.
pid_t lockHolder(int display) {
  std::ifstream lock("/tmp/.X" + std::to_string(display) + "-lock");
  long pid = -1;
  lock >> pid;
  return lock ? static_cast<pid_t>(pid) : -1;
}

}  // namespace

PanelDesktop::PanelDesktop(const std::string& directory)
    : runtimeDirectory_(directory + "/runtime") {
  std::filesystem::create_directories(runtimeDirectory_);
  std::filesystem::permissions(runtimeDirectory_, std::filesystem::perms::owner_all);
  // Programs the bus starts, such as the accessibility bus, inherit it.
  const auto updated = peers::runCommand(
      {"/usr/bin/busctl", "--address=" + bus_.address(), "call", "org.freedesktop.DBus",
       "/org/freedesktop/DBus", "org.freedesktop.DBus", "UpdateActivationEnvironment", "a{ss}", "1",
       "XDG_RUNTIME_DIR", runtimeDirectory_},
      {}, 5s);
  if (updated.status != 0) {
    throw std::runtime_error("the session bus kept its environment: " + updated.out);
  }
  // Two fixtures may pick the same free number at once: the display is ours
  // only when the lock file names our server, else the next one is tried.
  int number = 600 + static_cast<int>(::getpid() % 300);
  for (int attempt = 0;; ++attempt, ++number) {
    while (std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
      ++number;
    }
    display_ = ":" + std::to_string(number);
    xvfb_ = std::make_unique<Process>(
        "/usr/bin/Xvfb",
        std::vector<std::string>{display_, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
        std::vector<std::string>{}, directory + "/xvfb.log");
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    const bool ours = eventually(
        [&] {
          return !xvfb_->running() ||
                 (lockHolder(number) == xvfb_->pid() && std::filesystem::exists(socket));
        },
        30s);
    if (ours && xvfb_->running()) {
      break;
    }
    if (attempt == 5) {
      throw std::runtime_error("Xvfb did not open its display: " + xvfb_->log());
    }
  }
  // Windows mapped while the manager starts up may never be managed. Now and
  // then openbox never takes the display on a loaded machine: it is started
  // again then.
  for (int attempt = 1;; ++attempt) {
    windowManager_ = std::make_unique<Process>("/usr/bin/openbox", std::vector<std::string>{},
                                               environment(), directory + "/openbox.log");
    if (eventually([&] { return windowManagerRuns(environment()); }, 10s)) {
      break;
    }
    if (attempt == 3) {
      throw std::runtime_error("openbox did not start (running: " +
                               std::string(windowManager_->running() ? "yes" : "no") +
                               "): " + windowManager_->log());
    }
  }
}

PanelDesktop::~PanelDesktop() {
  stopPanel();
  stopAccessibilityBus();
}

std::vector<std::string> PanelDesktop::environment() const {
  return {"DISPLAY=" + display_, "WAYLAND_DISPLAY=", bus_.sessionEnvironment(),
          "QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + runtimeDirectory_};
}

std::vector<std::string> PanelDesktop::accessibleEnvironment() const {
  auto variables = environment();
  variables.emplace_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1");
  return variables;
}

std::optional<pid_t> PanelDesktop::panelProcess() const {
  return ownerOf(bus_.address(), "org.kestrune.Panel");
}

std::vector<PanelDesktop::Accessible> PanelDesktop::accessibleTree() const {
  const auto dumped = peers::runCommand(
      {"/usr/bin/python3", std::string(KESTRUNE_SOURCE_DIR) + "/tests/panel/accessible_tree.py",
       "kestrune-panel"},
      environment(), 20s);
  std::vector<Accessible> tree;
  std::istringstream lines(dumped.out);
  for (std::string line; std::getline(lines, line);) {
    // depth, role, name, showing, value, text, description
    const auto fields = fieldsOf(line);
    if (fields.size() < 5) {
      continue;
    }
    Accessible object{fields[1], fields[2], fields[3] == "1", std::nullopt};
    if (!fields[4].empty()) {
      object.value = std::stod(fields[4]);
    }
    object.checked = fields.size() > 7 && fields[7] == "1";
    tree.push_back(std::move(object));
  }
  return tree;
}

bool PanelDesktop::press(const std::string& name) const {
  return peers::runCommand({"/usr/bin/python3",
                            std::string(KESTRUNE_SOURCE_DIR) + "/tests/panel/accessible_tree.py",
                            "kestrune-panel", "--press", name},
                           environment(), 20s)
             .status == 0;
}

std::optional<PanelDesktop::Accessible> PanelDesktop::find(const std::vector<Accessible>& tree,
                                                           const std::string& name) {
  for (const auto& object : tree) {
    if (object.name == name) {
      return object;
    }
  }
  return std::nullopt;
}

void PanelDesktop::stopAccessibilityBus() {
  const auto launcher = ownerOf(bus_.address(), "org.a11y.Bus");
  if (!launcher) {
    return;
  }
  const auto asked =
      peers::runCommand({"/usr/bin/busctl", "--address=" + bus_.address(), "call", "org.a11y.Bus",
                         "/org/a11y/bus", "org.a11y.Bus", "GetAddress"},
                        {}, 5s);
  // s "unix:path=...,guid=..."
  const auto open = asked.out.find('"');
  const auto close = asked.out.rfind('"');
  if (open != std::string::npos && close > open) {
    const std::string address = asked.out.substr(open + 1, close - open - 1);
    for (const char* name : {"org.a11y.atspi.Registry", "org.freedesktop.DBus"}) {
      if (const auto process = ownerOf(address, name)) {
        stopProcess(*process);
      }
    }
  }
  stopProcess(*launcher);
}

bool PanelDesktop::panelMapped() const {
  const auto found = peers::runCommand(
      {"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^Kestrune$"}, environment(), 5s);
  return found.status == 0 && !peers::trimmed(found.out).empty();
}

void PanelDesktop::stopPanel() {
  if (const auto panel = panelProcess()) {
    stopProcess(*panel);
  }
}

std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const auto fields = statFields(static_cast<pid_t>(std::stol(name)));
    if (fields.size() > 1 && fields[1] == std::to_string(parent)) {
      children.push_back(static_cast<pid_t>(std::stol(name)));
    }
  }
  return children;
}

std::optional<pid_t> sessionOf(pid_t process) {
  const auto fields = statFields(process);
  if (fields.size() < 4) {
    return std::nullopt;
  }
  return static_cast<pid_t>(std::stol(fields[3]));
}

bool processGone(pid_t process) {
  const auto fields = statFields(process);
  return fields.empty() || fields[0] == "Z";
}

}  // namespace kestrune::daemon::testing
