#include "client/FakeServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace testing_support {

FakeServer::FakeServer(Script script) : socketPath_(directory_ / "cli.sock") {
  start(std::move(script));
}

FakeServer::FakeServer(std::string socketPath, Script script) : socketPath_(std::move(socketPath)) {
  start(std::move(script));
}

void FakeServer::start(Script script) {
  listener_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (!listener_ || socketPath_.size() >= sizeof address.sun_path) {
    throw std::runtime_error("cannot listen at " + socketPath_);
  }
  std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
  if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_.get(), 1) != 0) {
    throw std::runtime_error("cannot listen at " + socketPath_ + ": " + std::strerror(errno));
  }
  thread_ = std::thread([this, script = std::move(script)] { serve(script); });
}

FakeServer::~FakeServer() {
  stopping_ = true;
  thread_.join();
}

void FakeServer::serve(const Script& script) {
  pollfd waiting{listener_.get(), POLLIN, 0};
  while (!stopping_) {
    if (::poll(&waiting, 1, 20) <= 0) {
      continue;
    }
    platform::FileDescriptor connection(::accept(listener_.get(), nullptr, nullptr));
    if (connection) {
      accepted_ = true;
      script(connection.get());
      return;
    }
  }
}

std::string readFrame(int connection) {
  std::string bytes;
  char buffer[65536];
  std::size_t expected = 4;
  while (bytes.size() < expected) {
    const ssize_t count = ::read(connection, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
    if (expected == 4 && bytes.size() >= 4) {
      std::size_t length = 0;
      for (int i = 0; i < 4; ++i) {
        length = (length << 8U) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
      }
      expected = 4 + length;
    }
  }
  return bytes;
}

std::size_t drain(int connection) {
  std::size_t total = 0;
  char buffer[65536];
  while (true) {
    const ssize_t count = ::read(connection, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return total;
    }
    total += static_cast<std::size_t>(count);
  }
}

void writeBytes(int connection, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

std::string header(std::uint32_t length) {
  std::string bytes;
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes += static_cast<char>((length >> static_cast<unsigned>(shift)) & 0xFFU);
  }
  return bytes;
}

std::string frame(std::string_view body) {
  return header(static_cast<std::uint32_t>(body.size())) + std::string(body);
}

}  // namespace testing_support
