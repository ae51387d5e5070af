#pragma once
// The one seam between the server (sockets, framing, concurrency) and the
// source of truth that answers requests. Another source can answer the same
// requests without touching the server.

#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune::sim {

class RequestHandler {
 public:
  virtual ~RequestHandler() = default;

  // Answers one decoded request. Failures the user should see are returned
  // as a response with success false; implementations are safe to call from
  // several threads at once.
  virtual CLIResponse handle(const CLICommand& command) = 0;
};

}  // namespace kestrune::sim
