#pragma once
// kestruned's command line and its run from start to signal.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrune::daemon {

struct DaemonOptions {
  std::string socketPath;
  std::string configDirectory;  // profiles.json, devices.json, presets.json
  std::string stateDirectory;   // settings.json
  bool showHelp = false;
  bool showVersion = false;
};

// A bad command line; exit status 64.
class DaemonUsageError : public std::exception {
 public:
  explicit DaemonUsageError(std::string description) : description_(std::move(description)) {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

// The arguments after the program name, with defaults from the environment
// (XDG base directories). Throws DaemonUsageError.
DaemonOptions parseDaemonArguments(const std::vector<std::string>& arguments);

std::string daemonHelpText();
std::string daemonVersionText();

// Parses, then serves until SIGINT or SIGTERM. The exit status.
int daemonMain(const std::vector<std::string>& arguments, std::ostream& out);

}  // namespace kestrune::daemon
