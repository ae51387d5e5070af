#include "server/support/ServerTestSupport.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "protocol/Coding.h"

namespace kestrune::server::testing {

platform::FileDescriptor connectTo(const std::string& path) {
  platform::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM, 0));
  if (!fd) {
    throw std::runtime_error("socket failed");
  }
  timeval limit{5, 0};
  if (::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
      ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
    throw std::runtime_error("setsockopt failed");
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("connect to " + path + " failed: " + std::strerror(errno));
  }
  return fd;
}

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::runtime_error(std::string("send failed: ") + std::strerror(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

namespace {

bool readExactly(int fd, char* target, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const auto n = ::recv(fd, target + done, count - done, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      throw std::runtime_error("timed out waiting for the server");
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::string> readFrameBody(int fd) {
  std::array<unsigned char, 4> header{};
  if (!readExactly(fd, reinterpret_cast<char*>(header.data()), header.size())) {
    return std::nullopt;
  }
  const std::uint32_t length = (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
                               (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
  std::string body(length, '\0');
  if (!readExactly(fd, body.data(), length)) {
    return std::nullopt;
  }
  return body;
}

bool closedByPeer(int fd) {
  char byte = 0;
  while (true) {
    const auto n = ::recv(fd, &byte, 1, 0);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    return n == 0 || (n < 0 && errno == ECONNRESET);
  }
}

std::string lengthPrefix(std::uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>((length >> 16) & 0xFF),
          static_cast<char>((length >> 8) & 0xFF), static_cast<char>(length & 0xFF)};
}

void raiseDescriptorLimit(std::size_t count) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= count) {
    return;
  }
  limit.rlim_cur = std::min<rlim_t>(count, limit.rlim_max);
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
    throw std::runtime_error("setrlimit failed");
  }
}

std::string requestFrame(std::string_view json) {
  return lengthPrefix(static_cast<std::uint32_t>(json.size())) + std::string(json);
}

CLIResponse exchangeRaw(const std::string& path, std::string_view bytes) {
  const auto fd = connectTo(path);
  writeAll(fd.get(), bytes);
  const auto body = readFrameBody(fd.get());
  if (!body) {
    throw std::runtime_error("the server closed the connection without a reply");
  }
  return decodeCLIResponse(*body);
}

CLIResponse exchange(const std::string& path, const CLICommand& command) {
  return exchangeRaw(path, requestFrame(encodeCompact(command)));
}

CLIResponse VolumeKeeper::handle(const CLICommand& command) {
  const std::lock_guard lock(mutex_);
  if (const auto* set = std::get_if<CLICommand::SetVolume>(&command.value)) {
    volume_ = set->percent;
  } else if (!std::holds_alternative<CLICommand::GetVolume>(command.value)) {
    return CLIResponse{true, std::nullopt, std::nullopt, "ok"};
  }
  return CLIResponse{true, CLIResponseData{CLIResponseData::Volume{volume_}}, std::nullopt,
                     std::nullopt};
}

namespace {

std::pair<platform::FileDescriptor, platform::FileDescriptor> makePipe() {
  std::array<int, 2> ends{};
  if (::pipe(ends.data()) != 0) {
    throw std::runtime_error("pipe failed");
  }
  return {platform::FileDescriptor(ends[0]), platform::FileDescriptor(ends[1])};
}

}  // namespace

BackgroundServer::BackgroundServer(const std::string& path, RequestHandler& handler,
                                   ServerOptions options, Feed* feed)
    : socket_(path), server_(socket_.descriptor(), handler, options, feed) {
  auto [readEnd, writeEnd] = makePipe();
  stopRead_ = std::move(readEnd);
  stopWrite_ = std::move(writeEnd);
  thread_ = std::thread([this] { server_.run(stopRead_.get()); });
}

BackgroundServer::~BackgroundServer() {
  stopWrite_.reset();  // the read end hangs up: the server returns
  thread_.join();
}

}  // namespace kestrune::server::testing
