#include "client/CLIClient.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "json/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "protocol/Coding.h"
#include "protocol/SocketPath.h"

namespace kestrune {

namespace {

using platform::FileDescriptor;

constexpr int socketTimeLimitSeconds = 10;
// The path field of the application's socket address holds 104 bytes,
// terminator included; the same limit applies wherever this runs.
constexpr std::size_t socketPathCapacity = 104;
constexpr std::size_t headerSize = 4;

#ifdef MSG_NOSIGNAL
// A peer that has already closed must give EPIPE, not a fatal SIGPIPE.
constexpr int writeFlags = MSG_NOSIGNAL;
#else
constexpr int writeFlags = 0;
#endif

void configureSocket(int socket) {
  timeval limit{};
  limit.tv_sec = socketTimeLimitSeconds;
  limit.tv_usec = 0;
  // Without the limits the exchange still works, only unbounded; failures
  // are not fatal.
  static_cast<void>(::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit));
  static_cast<void>(::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit));
#ifdef SO_NOSIGPIPE
  const int on = 1;
  static_cast<void>(::setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on));
#endif
}

int newStreamSocket() {
#ifdef SOCK_CLOEXEC
  return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
#else
  return ::socket(AF_UNIX, SOCK_STREAM, 0);
#endif
}

FileDescriptor connectTo(const std::string& path) {
  // A path with a NUL byte names nothing on disk.
  if (path.find('\0') != std::string::npos || !platform::pathExists(path)) {
    throw CLIClientError::appNotRunning();
  }
  FileDescriptor socket(newStreamSocket());
  if (!socket) {
    throw CLIClientError::socketCreationFailed();
  }
  configureSocket(socket.get());

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() + 1 > socketPathCapacity) {
    throw CLIClientError::pathTooLong();
  }
  static_assert(sizeof address.sun_path >= socketPathCapacity);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    if (error == ECONNREFUSED) {
      throw CLIClientError::connectionRefused();
    }
    throw CLIClientError::connectionFailed(error);
  }
  return socket;
}

void appendBigEndian32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> static_cast<unsigned>(shift)) & 0xFFU);
  }
}

std::uint32_t bigEndian32(std::string_view bytes) {
  std::uint32_t value = 0;
  for (const char byte : bytes.substr(0, headerSize)) {
    value = (value << 8U) | static_cast<unsigned char>(byte);
  }
  return value;
}

std::string encodeRequest(const CLICommand& command) {
  try {
    return encodeCompact(command);
  } catch (const json::EncodingError& error) {
    throw CLIProtocolError::encodingFailed(error.description());
  }
}

std::string frameMessage(const CLICommand& command) {
  const std::string body = encodeRequest(command);
  if (body.size() > CLIClient::maxMessageSize) {
    throw CLIProtocolError::messageTooLarge(body.size());
  }
  std::string frame;
  frame.reserve(headerSize + body.size());
  appendBigEndian32(frame, static_cast<std::uint32_t>(body.size()));
  frame += body;
  return frame;
}

// The errno of a failed write, 0 when all was written.
int writeAll(int socket, std::string_view frame) {
  std::size_t offset = 0;
  while (offset < frame.size()) {
    const ssize_t written =
        ::send(socket, frame.data() + offset, frame.size() - offset, writeFlags);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    offset += static_cast<std::size_t>(written);
  }
  return 0;
}

std::string readExactly(int socket, std::size_t count) {
  std::string buffer(count, '\0');
  std::size_t offset = 0;
  while (offset < count) {
    const ssize_t received = ::read(socket, buffer.data() + offset, count - offset);
    if (received < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw CLIProtocolError::readFailed(errno);
    }
    if (received == 0) {
      throw CLIProtocolError::unexpectedEOF();
    }
    offset += static_cast<std::size_t>(received);
  }
  return buffer;
}

std::string readMessage(int socket) {
  const std::uint32_t length = bigEndian32(readExactly(socket, headerSize));
  if (length == 0) {
    return {};
  }
  // Refused before anything is allocated for it or read.
  if (length > CLIClient::maxMessageSize) {
    throw CLIProtocolError::messageTooLarge(length);
  }
  return readExactly(socket, length);
}

CLIResponse decodeResponse(std::string_view body) {
  try {
    return decodeCLIResponse(body);
  } catch (const json::DecodingError& error) {
    throw CLIProtocolError::decodingFailed(error.description());
  } catch (const json::ParseError& error) {
    throw CLIProtocolError::decodingFailed(error.description());
  }
}

}  // namespace

CLIClient::CLIClient(std::optional<std::string> socketPath)
    : socketPath_(socketPath ? std::move(*socketPath) : defaultSocketPath()) {}

CLIResponse CLIClient::send(const CLICommand& command) {
  const FileDescriptor socket = connectTo(socketPath_);
  const int writeError = writeAll(socket.get(), frameMessage(command));
  if (writeError == EPIPE || writeError == ECONNRESET) {
    // A server that refuses a request unread (too large) answers before it
    // closes: its reason is better than the broken pipe.
    try {
      return decodeResponse(readMessage(socket.get()));
    } catch (const CLIProtocolError&) {
      throw CLIProtocolError::writeFailed(writeError);
    }
  }
  if (writeError != 0) {
    throw CLIProtocolError::writeFailed(writeError);
  }
  return decodeResponse(readMessage(socket.get()));
}

std::string CLIClient::defaultSocketPath() {
  return kestrune::defaultSocketPath();
}

}  // namespace kestrune
