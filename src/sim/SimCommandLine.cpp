#include "sim/SimCommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/OptionParser.h"
#include "platform/StopSignals.h"
#include "protocol/SocketPath.h"
#include "server/ListeningSocket.h"
#include "server/Server.h"
#include "server/ServerError.h"
#include "sim/SimError.h"
#include "sim/SimulatedState.h"
#include "sim/StateFile.h"

namespace kestrune::sim {

namespace {

constexpr double maxTimeoutSeconds = 3600;

SimError usageError(const std::string& message) {
  return SimError(SimError::Kind::usage, message);
}

// Seconds, more than 0 and at most an hour, or why not.
platform::OptionParser::Refusal setTimeout(std::chrono::milliseconds& deadline,
                                           const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !(seconds > 0) ||
      seconds > maxTimeoutSeconds) {
    return "'" + text + "' (expected seconds, more than 0 and at most 3600)";
  }
  deadline = std::chrono::milliseconds(std::max<long long>(1, std::llround(seconds * 1000)));
  return std::nullopt;
}

}  // namespace

SimOptions parseSimArguments(const std::vector<std::string>& arguments) {
  SimOptions options;
  std::optional<std::string> socket;
  const auto refusal = platform::OptionParser()
                           .flag({"-h", "--help"}, options.showHelp)
                           .value("--socket", socket)
                           .path("--state", options.stateFile)
                           .option("--timeout",
                                   [&options](const std::string& seconds) {
                                     return setTimeout(options.connectionDeadline, seconds);
                                   })
                           .parse(arguments);
  if (refusal) {
    throw usageError(*refusal);
  }
  options.socketPath = socket ? *socket : defaultSocketPath();
  return options;
}

std::string simHelpText() {
  return "OVERVIEW: A simulated Kestrune application for the kestrune command-line tool.\n"
         "\n"
         "It answers every request of the tool on a Unix-domain socket from a believable\n"
         "in-memory state (devices, apps, EQ presets, profiles, media, Bluetooth), so that\n"
         "the tool can be tried, tested and scripted without the real application.\n"
         "\n"
         "USAGE: kestrune-sim [--socket <path>] [--state <file>] [--timeout <seconds>]\n"
         "\n"
         "OPTIONS:\n"
         "  --socket <path>         Socket to listen on (default: " +
         defaultSocketPath() +
         ").\n"
         "  --state <file>          Load the state from this file when it exists, and save\n"
         "                          every change to it.\n"
         "  --timeout <seconds>     Close a connection that has not finished its exchange\n"
         "                          within this time (default: 10).\n"
         "  -h, --help              Show this help.\n"
         "\n"
         "Once it accepts connections it prints \"kestrune-sim: listening on <path>\" on\n"
         "standard error; the socket file appears only then. SIGINT or SIGTERM stops it\n"
         "and removes the socket.\n";
}

void runSimulator(const SimOptions& options, std::ostream& log) {
  // First, so that a signal at any later point still removes the socket.
  const platform::StopSignals signals;

  StateModel initial = defaultState();
  if (options.stateFile) {
    if (auto loaded = readStateFile(*options.stateFile)) {
      initial = std::move(*loaded);
    } else {
      writeStateFile(*options.stateFile, initial);  // fails early when it cannot be written
    }
  }
  server::Feed feed;
  SimulatedState state(std::move(initial), SimulatedState::Options{options.stateFile, {}, &feed});

  const server::ListeningSocket socket(options.socketPath);
  server::ServerOptions serverOptions;
  serverOptions.connectionDeadline = options.connectionDeadline;
  server::Server server(socket.descriptor(), state, serverOptions, &feed);
  log << "kestrune-sim: listening on " << socket.path() << std::endl;
  server.run(signals.descriptor());
}

int simMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& log) {
  try {
    const SimOptions options = parseSimArguments(arguments);
    if (options.showHelp) {
      out << simHelpText();
      out.flush();
      return out ? 0 : 1;
    }
    runSimulator(options, log);
    return 0;
  } catch (const SimError& error) {
    log << "kestrune-sim: " << error.description() << "\n";
    if (error.kind() == SimError::Kind::usage) {
      log << "Run 'kestrune-sim --help' for usage.\n";
      return 64;
    }
    return 1;
  } catch (const server::ServerError& error) {
    log << "kestrune-sim: " << error.description() << "\n";
    return 1;
  } catch (const platform::StopSignalsError& error) {
    log << "kestrune-sim: " << error.what() << "\n";
    return 1;
  } catch (const std::exception& error) {
    // Not expected; still a message and a status rather than an abort.
    log << "kestrune-sim: internal error: " << error.what() << "\n";
    return 1;
  }
}

}  // namespace kestrune::sim
