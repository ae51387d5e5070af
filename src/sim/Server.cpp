#include "sim/Server.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "json/Errors.h"
#include "platform/FileDescriptor.h"
#include "protocol/Coding.h"
#include "sim/Framing.h"
#include "sim/SimError.h"
#include "sim/Sockets.h"

namespace kestrune::sim {

namespace {

// When the process runs out of descriptors, accepting pauses this long
// instead of spinning on a listener that stays readable.
constexpr std::chrono::milliseconds acceptPause{100};

std::string failureFrame(std::string error) {
  return frame(encodeCompact(CLIResponse{false, std::nullopt, std::move(error), std::nullopt}));
}

CLIResponse answer(RequestHandler& handler, std::string_view body) {
  CLICommand command;
  try {
    command = decodeCLICommand(body);
  } catch (const json::DecodingError& error) {
    return CLIResponse{false, std::nullopt, "Invalid request: " + error.description(),
                       std::nullopt};
  } catch (const std::exception& error) {
    return CLIResponse{false, std::nullopt, std::string("Invalid request: ") + error.what(),
                       std::nullopt};
  }
  try {
    return handler.handle(command);
  } catch (const std::exception& error) {
    return CLIResponse{false, std::nullopt, std::string("Internal error: ") + error.what(),
                       std::nullopt};
  }
}

}  // namespace

std::string replyFrame(RequestHandler& handler, std::string_view body) {
  std::string json;
  try {
    json = encodeCompact(answer(handler, body));
  } catch (const json::EncodingError& error) {
    return failureFrame("Internal error: the reply could not be encoded: " + error.description());
  }
  if (json.size() > maxMessageSize) {
    return failureFrame("Internal error: the reply is too large (" + std::to_string(json.size()) +
                        " bytes)");
  }
  return frame(json);
}

struct Server::Connection {
  enum class Phase { receiving, replying, finished };

  platform::FileDescriptor fd;
  Clock::time_point deadline;
  Phase phase = Phase::receiving;
  std::array<unsigned char, frameHeaderSize> header{};
  std::size_t headerReceived = 0;
  std::string body;
  std::size_t bodyReceived = 0;
  std::string reply;
  std::size_t replySent = 0;

  bool hasHeader() const { return headerReceived == frameHeaderSize; }
  bool hasBody() const { return hasHeader() && bodyReceived == body.size(); }

  void startReply(std::string frameBytes) {
    reply = std::move(frameBytes);
    replySent = 0;
    phase = Phase::replying;
  }

  // Reads what the socket holds of the frame: a negative result with errno
  // set, 0 at end of stream, else the byte count.
  long receiveSome() {
    if (!hasHeader()) {
      return ::recv(fd.get(), reinterpret_cast<char*>(header.data()) + headerReceived,
                    frameHeaderSize - headerReceived, 0);
    }
    return ::recv(fd.get(), body.data() + bodyReceived, body.size() - bodyReceived, 0);
  }

  void tookHeaderBytes(std::size_t count) {
    headerReceived += count;
    if (!hasHeader()) {
      return;
    }
    const std::uint32_t length = frameLength(header);
    if (length > maxMessageSize) {
      // The body is never read: the reply goes out, then the connection closes.
      startReply(failureFrame("Invalid request: message too large: " + std::to_string(length) +
                              " bytes (max " + std::to_string(maxMessageSize) + ")"));
      return;
    }
    body.resize(length);
  }

  // The client stopped sending mid-request. It may still read, so say why.
  void endedEarly() {
    if (headerReceived == 0) {
      phase = Phase::finished;  // connected and left without a word
    } else if (!hasHeader()) {
      startReply(failureFrame("Invalid request: the connection ended after " +
                              std::to_string(headerReceived) +
                              " of the 4 bytes of the length prefix"));
    } else {
      startReply(failureFrame("Invalid request: the connection ended after " +
                              std::to_string(bodyReceived) + " of " + std::to_string(body.size()) +
                              " bytes of the request"));
    }
  }
};

Server::Server(int listeningFd, RequestHandler& handler, ServerOptions options)
    : listeningFd_(listeningFd), handler_(handler), options_(options) {}

Server::~Server() = default;

void Server::receive(Connection& connection) {
  while (connection.phase == Connection::Phase::receiving) {
    const long n = connection.receiveSome();
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        connection.phase = Connection::Phase::finished;
      }
      return;
    }
    if (n == 0) {
      connection.endedEarly();
      return;
    }
    if (!connection.hasHeader()) {
      connection.tookHeaderBytes(static_cast<std::size_t>(n));
    } else {
      connection.bodyReceived += static_cast<std::size_t>(n);
    }
    if (connection.phase == Connection::Phase::receiving && connection.hasBody()) {
      connection.startReply(replyFrame(handler_, connection.body));
    }
  }
}

void Server::transmit(Connection& connection) {
  while (connection.replySent < connection.reply.size()) {
    const long n =
        sendWithoutSignal(connection.fd.get(), connection.reply.data() + connection.replySent,
                          connection.reply.size() - connection.replySent);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        connection.phase = Connection::Phase::finished;  // the client went away
      }
      return;
    }
    connection.replySent += static_cast<std::size_t>(n);
  }
  connection.phase = Connection::Phase::finished;
}

void Server::advance(Connection& connection) {
  if (connection.phase == Connection::Phase::receiving) {
    receive(connection);
  }
  if (connection.phase == Connection::Phase::replying) {
    transmit(connection);
  }
}

void Server::acceptNew(Clock::time_point now) {
  while (connections_.size() < options_.maxConnections) {
    platform::FileDescriptor fd(::accept(listeningFd_, nullptr, nullptr));
    if (!fd) {
      if (errno == EINTR || errno == ECONNABORTED) {
        continue;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        // Out of descriptors or memory: let connections finish first.
        acceptPausedUntil_ = now + acceptPause;
      }
      return;
    }
    if (!prepareAccepted(fd.get())) {
      continue;
    }
    auto connection = std::make_unique<Connection>();
    connection->fd = std::move(fd);
    connection->deadline = now + options_.connectionDeadline;
    // The request has usually arrived by the time the connection is
    // accepted: most exchanges finish here without waiting for poll.
    advance(*connection);
    if (connection->phase != Connection::Phase::finished) {
      connections_.push_back(std::move(connection));
    }
  }
}

int Server::pollTimeout(Clock::time_point now) const {
  std::optional<Clock::time_point> wake;
  for (const auto& connection : connections_) {
    wake = wake ? std::min(*wake, connection->deadline) : connection->deadline;
  }
  if (acceptPausedUntil_ > now) {
    wake = wake ? std::min(*wake, acceptPausedUntil_) : acceptPausedUntil_;
  }
  if (!wake) {
    return -1;
  }
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
  return static_cast<int>(std::clamp<long long>(wait, 0, 60000));
}

void Server::run(int stopFd) {
  std::vector<pollfd> events;
  while (true) {
    const auto now = Clock::now();
    const bool accepting =
        connections_.size() < options_.maxConnections && acceptPausedUntil_ <= now;
    events.clear();
    events.push_back({stopFd, POLLIN, 0});
    events.push_back({accepting ? listeningFd_ : -1, POLLIN, 0});
    for (const auto& connection : connections_) {
      const short wanted = connection->phase == Connection::Phase::receiving ? POLLIN : POLLOUT;
      events.push_back({connection->fd.get(), wanted, 0});
    }
    if (::poll(events.data(), events.size(), pollTimeout(now)) < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw SimError(SimError::Kind::socketSetup,
                     std::string("Waiting for connections failed: ") + std::strerror(errno));
    }
    if (events[0].revents != 0) {
      connections_.clear();
      return;
    }
    const auto after = Clock::now();
    for (std::size_t i = 0; i < connections_.size(); ++i) {
      Connection& connection = *connections_[i];
      if (events[i + 2].revents != 0) {
        advance(connection);
      }
      if (after >= connection.deadline) {
        connection.phase = Connection::Phase::finished;
      }
    }
    std::erase_if(connections_, [](const auto& connection) {
      return connection->phase == Connection::Phase::finished;
    });
    if (events[1].revents != 0) {
      acceptNew(after);
    }
  }
}

}  // namespace kestrune::sim
