#pragma once
// The one seam between the server (sockets, framing, concurrency) and the
// source of truth that answers requests. Another source can answer the same
// requests without touching the server.

#include <chrono>
#include <functional>
#include <utility>

#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune::server {

class RequestHandler {
 public:
  // Takes the answer to one request; callable once, from any thread, also
  // after the server is gone (the answer is then dropped).
  using Reply = std::function<void(CLIResponse)>;

  virtual ~RequestHandler() = default;

  // Answers one decoded request. Failures the user should see are returned
  // as a response with success false; implementations are safe to call from
  // several threads at once.
  virtual CLIResponse handle(const CLICommand& command) = 0;

  // Starts answering one request and returns without waiting for the answer,
  // so that a slow source holds up only its own clients. A source that
  // answers at once keeps this default.
  virtual void begin(const CLICommand& command, Reply reply) {
    const Reply answer = std::move(reply);
    answer(handle(command));
  }

  // The same for a client that waits until `deadline` (when the server
  // closes its connection): a source that queues requests should not start
  // one after it, since nobody would see the answer.
  virtual void beginBefore(const CLICommand& command,
                           std::chrono::steady_clock::time_point deadline, Reply reply) {
    static_cast<void>(deadline);
    begin(command, std::move(reply));
  }
};

}  // namespace kestrune::server
