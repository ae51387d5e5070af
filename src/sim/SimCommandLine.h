#pragma once
// kestrune-sim's command line: kestrune-sim [--socket PATH] [--state FILE]
// [--timeout SECONDS].

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrune::sim {

struct SimOptions {
  std::string socketPath;
  std::optional<std::string> stateFile;
  std::chrono::milliseconds connectionDeadline{10000};
  bool showHelp = false;
};

// The arguments after the program name. Throws SimError (usage).
SimOptions parseSimArguments(const std::vector<std::string>& arguments);

std::string simHelpText();

// Sets up the socket and the state, writes the ready line to `log`, and
// serves until SIGINT or SIGTERM. Throws SimError when it cannot start.
void runSimulator(const SimOptions& options, std::ostream& log);

// The whole program: parse, run, and map failures to messages on `log` and
// exit statuses (0, 1 for failures, 64 for usage errors).
int simMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& log);

}  // namespace kestrune::sim
