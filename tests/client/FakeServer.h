#pragma once
// A scripted stand-in for the application: a Unix socket listening in a
// temporary directory that accepts one connection and does exactly what the
// test's script says.

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/FileDescriptor.h"
#include "platform/TestSupport.h"

namespace testing_support {

class FakeServer {
 public:
  using Script = std::function<void(int connection)>;

  // Listens at <temporary directory>/cli.sock.
  explicit FakeServer(Script script);
  // Listens at the given path (its directory must exist and outlive the server).
  FakeServer(std::string socketPath, Script script);
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;
  ~FakeServer();

  const std::string& socketPath() const { return socketPath_; }
  bool accepted() const { return accepted_; }

 private:
  void start(Script script);
  void serve(const Script& script);

  TemporaryDirectory directory_;
  std::string socketPath_;
  platform::FileDescriptor listener_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> accepted_{false};
  std::thread thread_;
};

// Reads one whole frame (header and body) from the connection; whatever
// arrived when the peer closes early.
std::string readFrame(int connection);
// Reads until the peer closes; the number of bytes that arrived.
std::size_t drain(int connection);
// Writes all bytes, ignoring a peer that has gone.
void writeBytes(int connection, std::string_view bytes);
// The 4-byte big-endian length followed by the body.
std::string frame(std::string_view body);
std::string header(std::uint32_t length);

}  // namespace testing_support
