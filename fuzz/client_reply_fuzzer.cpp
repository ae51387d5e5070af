// The bytes served as the application's reply to the real client: a server
// thread in this process accepts each connection, reads the whole request
// frame, writes the input unchanged and closes. The client must end in the
// response or error that the bytes call for, never hang, and never keep a
// descriptor open.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "FuzzSupport.h"
#include "client/CLIClient.h"
#include "json/Errors.h"
#include "platform/FileDescriptor.h"
#include "protocol/Coding.h"

namespace {

using kestrune::CLIClient;
using kestrune::CLIProtocolError;

bool readExactly(int fd, char* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, buffer + done, count - done);
    if (n <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void writeAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) {
      return;  // the client stopped reading and closed: it has its answer
    }
    done += static_cast<std::size_t>(n);
  }
}

class ReplyServer {
 public:
  ReplyServer() {
    char pattern[] = "/tmp/kestrune-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      fuzzing::invariantBroken("cannot create a temporary directory");
    }
    directory_ = pattern;
    path_ = directory_ + "/cli.sock";
    listener_ = platform::FileDescriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    if (!listener_ ||
        ::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 4) != 0) {
      fuzzing::invariantBroken("cannot listen");
    }
    thread_ = std::thread([this] { serve(); });
    thread_.detach();  // lives as long as the process
  }

  const std::string& path() const { return path_; }

  // Serves `reply` to the next connection; `waitUntilServed` returns once
  // that connection is closed on the server's side.
  void offer(std::string reply) {
    const std::lock_guard lock(mutex_);
    reply_ = std::move(reply);
    ++offered_;
  }
  void waitUntilServed() {
    std::unique_lock lock(mutex_);
    served_changed_.wait(lock, [this] { return served_ == offered_; });
  }

 private:
  void serve() {
    while (true) {
      platform::FileDescriptor connection(::accept(listener_.get(), nullptr, nullptr));
      if (!connection) {
        continue;
      }
      std::string reply;
      {
        const std::lock_guard lock(mutex_);
        reply = reply_;
      }
      char header[4];
      if (readExactly(connection.get(), header, sizeof header)) {
        std::uint32_t length = 0;
        for (const char byte : header) {
          length = (length << 8U) | static_cast<unsigned char>(byte);
        }
        std::string body(length, '\0');
        if (readExactly(connection.get(), body.data(), length)) {
          writeAll(connection.get(), reply);
        }
      }
      connection = platform::FileDescriptor();
      const std::lock_guard lock(mutex_);
      ++served_;
      served_changed_.notify_all();
    }
  }

  std::string directory_;
  std::string path_;
  platform::FileDescriptor listener_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable served_changed_;
  std::string reply_;
  std::size_t offered_ = 0;
  std::size_t served_ = 0;
};

ReplyServer& server() {
  static ReplyServer instance;
  return instance;
}

// Sockets this process holds open. Other descriptors come and go with the
// fuzzer's own work; a socket can only be the client's or the server's.
std::size_t openSockets() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const auto target = std::filesystem::read_symlink(entry.path(), error);
    if (!error && target.native().starts_with("socket:")) {
      ++count;
    }
  }
  return count;
}

// What the client must report for the bytes: nothing for a good reply,
// else the kind of protocol failure.
std::optional<CLIProtocolError::Kind> expectedFailure(std::string_view bytes) {
  if (bytes.size() < 4) {
    return CLIProtocolError::Kind::unexpectedEOF;
  }
  std::uint32_t length = 0;
  for (const char byte : bytes.substr(0, 4)) {
    length = (length << 8U) | static_cast<unsigned char>(byte);
  }
  if (length > CLIClient::maxMessageSize) {
    return CLIProtocolError::Kind::messageTooLarge;
  }
  if (bytes.size() - 4 < length) {
    return length == 0 ? CLIProtocolError::Kind::decodingFailed
                       : CLIProtocolError::Kind::unexpectedEOF;
  }
  try {
    static_cast<void>(kestrune::decodeCLIResponse(bytes.substr(4, length)));
  } catch (const json::DecodingError&) {
    return CLIProtocolError::Kind::decodingFailed;
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = fuzzing::asText(data, size);
  ReplyServer& replies = server();
  const std::size_t socketsBefore = openSockets();
  replies.offer(std::string(bytes));
  const auto expected = expectedFailure(bytes);
  try {
    CLIClient client(replies.path());
    const auto response = client.send(kestrune::CLICommand{kestrune::CLICommand::GetStatus{}});
    fuzzing::require(!expected, "the client accepted a reply it must refuse");
    static_cast<void>(response);
  } catch (const CLIProtocolError& error) {
    fuzzing::require(expected == error.kind(), "the client reported the wrong failure");
    fuzzing::require(!error.description().empty(), "a failure without description");
  }
  replies.waitUntilServed();
  fuzzing::require(openSockets() == socketsBefore, "a socket was left open");
  return 0;
}
