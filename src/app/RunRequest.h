#pragma once
// The run sequence shared by every command that talks to the application:
// one request out, one response printed.

#include <stdexcept>

#include "ArgumentParser/ArgumentParser.h"
#include "app/GlobalOptions.h"
#include "protocol/CLICommand.h"

namespace kestrune {

// The answer could not be written to standard output (a closed pipe, a full
// disk); reported rather than ending with success and no output.
class OutputError : public std::runtime_error {
 public:
  OutputError() : std::runtime_error("Could not write to standard output.") {}
};

// Sends the request to the application (at --socket, else the default path)
// and prints the answer, as JSON with --json. Client and framing failures
// propagate unchanged; a failure the application reports is printed and is
// not an error of the run. Throws OutputError when the answer cannot be
// written.
void runRequest(const GlobalOptions& options, const CLICommand& command);

inline constexpr const char* kSystemVolumeRangeMessage = "Volume must be between 0 and 100.";
inline constexpr const char* kAppVolumeRangeMessage = "Volume must be between 0 and 200.";

// Checks a level against 0...maximum (inclusive; NaN fails). On failure
// prints the message as an error and throws ExitCode::validationFailure, so
// nothing is sent.
void requireLevelInRange(double level, double maximum, const char* message);

// A command that sends one request. Building the request is kept apart from
// sending it, so the request of every command line can be checked alone.
class RequestCommand : public argparse::ParsableCommand {
 public:
  // The request for the parsed arguments, after the command's own checks.
  virtual CLICommand request() const = 0;
  virtual const GlobalOptions& globalOptions() const = 0;

  void run() override { runRequest(globalOptions(), request()); }
};

// Base of the leaves: Leaf declares its arguments, then
// `argparse::OptionGroup<GlobalOptions> options{this, "options"};` last.
template <typename Leaf>
class RequestLeaf : public RequestCommand {
 public:
  const GlobalOptions& globalOptions() const override {
    return *static_cast<const Leaf*>(this)->options;
  }
};

}  // namespace kestrune
