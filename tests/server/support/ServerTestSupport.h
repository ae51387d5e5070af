#pragma once
// Talking to a server the way the command-line tool does, byte by byte when
// a test needs to misbehave, and running a Server on a thread.

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/FileDescriptor.h"
#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"
#include "server/ListeningSocket.h"
#include "server/Server.h"

namespace kestrune::server::testing {

// A connected client socket with 5-second send and receive limits, so that
// a broken server fails a test instead of hanging it.
platform::FileDescriptor connectTo(const std::string& path);
void writeAll(int fd, std::string_view bytes);
// One whole frame's body; nothing when the server closes first.
std::optional<std::string> readFrameBody(int fd);
// Whether the server closed the connection (read returns end of file or a
// reset) within the time limit.
bool closedByPeer(int fd);

// Raises this process's soft limit on open descriptors to at least `count`
// (as far as the hard limit allows).
void raiseDescriptorLimit(std::size_t count);

// The 4-byte big-endian length, and a whole frame.
std::string lengthPrefix(std::uint32_t length);
std::string requestFrame(std::string_view json);

// Sends raw request bytes on a fresh connection and decodes the reply.
CLIResponse exchangeRaw(const std::string& path, std::string_view bytes);
CLIResponse exchange(const std::string& path, const CLICommand& command);

// A handler that keeps one volume (50 at first): getVolume and setVolume
// answer it, every other request succeeds with the message "ok".
class VolumeKeeper : public RequestHandler {
 public:
  CLIResponse handle(const CLICommand& command) override;

 private:
  std::mutex mutex_;
  double volume_ = 50;
};

// A Server serving `handler` on `path` from a background thread until dropped.
class BackgroundServer {
 public:
  BackgroundServer(const std::string& path, RequestHandler& handler, ServerOptions options = {},
                   Feed* feed = nullptr);
  BackgroundServer(const BackgroundServer&) = delete;
  BackgroundServer& operator=(const BackgroundServer&) = delete;
  ~BackgroundServer();

 private:
  ListeningSocket socket_;
  Server server_;
  platform::FileDescriptor stopRead_;
  platform::FileDescriptor stopWrite_;
  std::thread thread_;
};

template <class Payload>
const Payload& payload(const CLIResponse& response) {
  return std::get<Payload>(response.data.value().value);
}

}  // namespace kestrune::server::testing
