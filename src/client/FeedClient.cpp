#include "client/FeedClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "json/Errors.h"
#include "platform/Files.h"
#include "protocol/SocketPath.h"

namespace kestrune {

namespace {

using platform::FileDescriptor;

constexpr std::size_t headerSize = 4;
// The same limit as the one-shot client's: the application's socket address
// holds 104 bytes, terminator included.
constexpr std::size_t socketPathCapacity = 104;
constexpr std::size_t readChunk = 65536;

#ifdef MSG_NOSIGNAL
// A server that has already closed must give EPIPE, not a fatal SIGPIPE.
constexpr int writeFlags = MSG_NOSIGNAL;
#else
constexpr int writeFlags = 0;
#endif

FileDescriptor connectTo(const std::string& path) {
  // A path with a NUL byte names nothing on disk.
  if (path.find('\0') != std::string::npos || !platform::pathExists(path)) {
    throw FeedClientError::notRunning();
  }
  if (path.size() + 1 > socketPathCapacity) {
    throw FeedClientError::connectionFailed(ENAMETOOLONG);
  }
  FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) {
    throw FeedClientError::connectionFailed(errno);
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  static_assert(sizeof address.sun_path >= socketPathCapacity);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  while (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
         0) {
    const int error = errno;
    if (error == EINTR) {
      continue;
    }
    // A file nobody listens on is left behind by an application that was
    // killed; the socket may also vanish between the check and here.
    if (error == ECONNREFUSED || error == ENOENT) {
      throw FeedClientError::notRunning();
    }
    throw FeedClientError::connectionFailed(error);
  }
  return socket;
}

std::string framed(const std::string& body) {
  std::string frame;
  frame.reserve(headerSize + body.size());
  const auto length = static_cast<std::uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) {
    frame += static_cast<char>((length >> static_cast<unsigned>(shift)) & 0xFFU);
  }
  frame += body;
  return frame;
}

void sendAll(int socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::send(socket, bytes.data(), bytes.size(), writeFlags);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw FeedClientError::connectionLost(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::uint32_t bigEndian32(std::string_view bytes) {
  std::uint32_t value = 0;
  for (const char byte : bytes.substr(0, headerSize)) {
    value = (value << 8U) | static_cast<unsigned char>(byte);
  }
  return value;
}

std::string errorText(const json::Object& reply) {
  const json::Value* error = reply.find("error");
  return error != nullptr && error->isString() ? error->asString() : std::string();
}

}  // namespace

FeedClientError::FeedClientError(Kind kind, int errorNumber, std::string detail,
                                 std::string description)
    : kind_(kind),
      errorNumber_(errorNumber),
      detail_(std::move(detail)),
      description_(std::move(description)) {}

FeedClientError FeedClientError::notRunning() {
  return {Kind::notRunning, 0, "", "Kestrune is not running."};
}

FeedClientError FeedClientError::connectionFailed(int errorNumber) {
  return {Kind::connectionFailed, errorNumber, "",
          std::string("Connection failed: ") + std::strerror(errorNumber)};
}

FeedClientError FeedClientError::refused(std::string serverError) {
  std::string description = "The subscription was refused";
  description += serverError.empty() ? "." : ": " + serverError;
  return {Kind::refused, 0, std::move(serverError), std::move(description)};
}

FeedClientError FeedClientError::connectionLost(int errorNumber) {
  return {Kind::connectionLost, errorNumber, "",
          errorNumber == 0
              ? std::string("Kestrune closed the connection.")
              : std::string("The connection to Kestrune broke: ") + std::strerror(errorNumber)};
}

FeedClientError FeedClientError::malformedFrame(std::string detail) {
  std::string description = "Malformed frame from Kestrune: " + detail;
  return {Kind::malformedFrame, 0, std::move(detail), std::move(description)};
}

FeedClient::FeedClient(const Subscription& subscription,
                       const std::optional<std::string>& socketPath)
    : socket_(connectTo(socketPath ? *socketPath : defaultSocketPath())) {
  sendAll(socket_.get(), framed(encodeSubscription(subscription)));
}

std::optional<json::Value> FeedClient::next(int stopDescriptor) {
  std::array<pollfd, 1> stop{pollfd{stopDescriptor, POLLIN, 0}};
  return next(stopDescriptor < 0 ? std::span<pollfd>() : std::span<pollfd>(stop));
}

std::optional<json::Value> FeedClient::next(std::span<pollfd> interrupters) {
  std::vector<pollfd> watched(interrupters.begin(), interrupters.end());
  watched.push_back(pollfd{socket_.get(), POLLIN, 0});
  while (true) {
    if (auto frame = takeFrame()) {
      return frame;
    }
    for (pollfd& entry : watched) {
      entry.revents = 0;
    }
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw FeedClientError::connectionLost(errno);
    }
    bool interrupted = false;
    for (std::size_t i = 0; i < interrupters.size(); ++i) {
      interrupters[i].revents = watched[i].revents;
      interrupted = interrupted || watched[i].revents != 0;
    }
    if (interrupted) {
      return std::nullopt;
    }
    if (watched.back().revents != 0) {
      receive();
    }
  }
}

// One read of what has arrived; called when poll says it will not block.
void FeedClient::receive() {
  std::array<char, readChunk> chunk{};
  ssize_t received = -1;
  do {
    received = ::read(socket_.get(), chunk.data(), chunk.size());
  } while (received < 0 && errno == EINTR);
  if (received < 0) {
    throw FeedClientError::connectionLost(errno);
  }
  if (received == 0) {
    throw FeedClientError::connectionLost(0);
  }
  pending_.append(chunk.data(), static_cast<std::size_t>(received));
}

std::optional<json::Value> FeedClient::takeFrame() {
  if (pending_.size() < headerSize) {
    return std::nullopt;
  }
  const std::uint32_t length = bigEndian32(pending_);
  // Refused from the header alone, before waiting for the body.
  if (length > maxFrameSize) {
    throw FeedClientError::malformedFrame("a frame of " + std::to_string(length) +
                                          " bytes (at most " + std::to_string(maxFrameSize) + ")");
  }
  if (pending_.size() < headerSize + length) {
    return std::nullopt;
  }
  json::Value frame = checkedFrame(std::string_view(pending_).substr(headerSize, length));
  pending_.erase(0, headerSize + length);
  return frame;
}

json::Value FeedClient::checkedFrame(std::string_view body) {
  json::Value frame;
  try {
    frame = json::parse(body);
  } catch (const json::ParseError& error) {
    throw FeedClientError::malformedFrame(error.description());
  }
  if (!frame.isObject()) {
    throw FeedClientError::malformedFrame("not a JSON object");
  }
  const bool first = !std::exchange(seenFirstFrame_, true);
  // Only the first frame may be a reply: the server's refusal.
  if (const json::Value* success = frame.find("success"); first && success != nullptr) {
    if (success->isBool() && !success->asBool()) {
      throw FeedClientError::refused(errorText(frame.asObject()));
    }
    throw FeedClientError::malformedFrame("a reply instead of the feed");
  }
  const json::Value* event = frame.find("event");
  if (event == nullptr || !event->isString()) {
    throw FeedClientError::malformedFrame("a frame without an \"event\"");
  }
  return frame;
}

}  // namespace kestrune
