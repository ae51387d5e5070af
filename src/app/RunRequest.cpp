#include "app/RunRequest.h"

#include "app/Render.h"
#include "client/CLIClient.h"

namespace kestrune {

void runRequest(const GlobalOptions& options, const CLICommand& command) {
  jsonOutput = options.json;
  CLIClient client(options.socket.get());
  printResponse(client.send(command));
  if (!argparse::standardOutput().flush()) {
    throw OutputError();
  }
}

void requireLevelInRange(double level, double maximum, const char* message) {
  if (level >= 0 && level <= maximum) {
    return;
  }
  printError(message);
  throw argparse::ExitCode::validationFailure;
}

}  // namespace kestrune
