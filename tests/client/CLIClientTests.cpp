#include "client/CLIClient.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "client/FakeServer.h"
#include "json/Errors.h"
#include "platform/Directories.h"
#include "protocol/Coding.h"

using namespace kestrune;
using namespace testing_support;

namespace {

std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// The decoder's own text for a body, as the client must pass it on.
std::string decoderDescription(std::string_view body) {
  try {
    decodeCLIResponse(body);
  } catch (const json::DecodingError& error) {
    return error.description();
  }
  return "(decoded)";
}

CLICommand getVolume() {
  return CLICommand{CLICommand::GetVolume{}};
}

CLICommand requestWithAppID(std::size_t length) {
  return CLICommand{CLICommand::GetAppVolume{std::string(length, 'a')}};
}

const std::string okBody = R"({"success":true,"data":{"volume":{"_0":40}}})";

// Answers the request with the given bytes, then closes.
FakeServer::Script replyWith(std::string bytes) {
  return [bytes = std::move(bytes)](int connection) {
    readFrame(connection);
    writeBytes(connection, bytes);
  };
}

// A path of exactly `length` bytes inside the directory.
std::string pathOfLength(const TemporaryDirectory& directory, std::size_t length) {
  const std::string prefix = directory.path() + "/";
  return prefix + std::string(length - prefix.size(), 's');
}

// Every test checks that the exchange left no descriptor open, whatever its
// outcome.
class CLIClientTest : public ::testing::Test {
 protected:
  void SetUp() override { descriptorsBefore_ = openDescriptorCount(); }
  void TearDown() override { EXPECT_EQ(openDescriptorCount(), descriptorsBefore_); }

  template <typename Error>
  static Error errorOf(const std::string& socketPath, const CLICommand& command = getVolume()) {
    try {
      CLIClient(socketPath).send(command);
    } catch (const Error& error) {
      return error;
    }
    ADD_FAILURE() << "send did not throw the expected error type";
    throw std::logic_error("no error");
  }

  static std::string clientError(const std::string& path) {
    return errorOf<CLIClientError>(path).description();
  }
  static std::string protocolError(const std::string& path,
                                   const CLICommand& command = getVolume()) {
    return errorOf<CLIProtocolError>(path, command).description();
  }

 private:
  std::size_t descriptorsBefore_ = 0;
};

}  // namespace

TEST_F(CLIClientTest, SendsOneFrameAndDecodesTheReply) {
  std::string received;
  std::string path;
  CLIResponse response;
  {
    FakeServer server([&](int connection) {
      received = readFrame(connection);
      writeBytes(connection, frame(okBody));
    });
    response = CLIClient(server.socketPath()).send(getVolume());
  }
  EXPECT_EQ(received, std::string("\x00\x00\x00\x10", 4) + R"({"getVolume":{}})");
  EXPECT_TRUE(response.success);
  ASSERT_TRUE(response.data);
  ASSERT_TRUE(std::holds_alternative<CLIResponseData::Volume>(response.data->value));
  EXPECT_EQ(std::get<CLIResponseData::Volume>(response.data->value).value, 40.0);
}

TEST_F(CLIClientTest, MissingSocketFileMeansTheAppIsNotRunning) {
  TemporaryDirectory directory;
  EXPECT_EQ(clientError(directory / "cli.sock"), "Kestrune is not running. Launch the app first.");
  EXPECT_EQ(clientError(""), "Kestrune is not running. Launch the app first.");
  EXPECT_EQ(clientError(std::string("/tmp\0x", 6)),
            "Kestrune is not running. Launch the app first.");
  EXPECT_EQ(errorOf<CLIClientError>(directory / "cli.sock").kind(),
            CLIClientError::Kind::appNotRunning);
}

TEST_F(CLIClientTest, ChecksTheSocketFileBeforeCreatingASocket) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizers probe memory through a pipe; without descriptors they
  // report objects they cannot check as broken.
  GTEST_SKIP() << "needs descriptors the sanitizers use";
#endif
  TemporaryDirectory directory;
  const std::string existing = directory / "not-a-socket";
  { std::ofstream(existing) << "x"; }

  // With no descriptor left to hand out, only the missing file can be
  // reported without creating a socket.
  const int lowestFree = ::dup(0);
  ASSERT_GE(lowestFree, 0);
  ASSERT_EQ(::close(lowestFree), 0);
  rlimit original{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
  rlimit lowered = original;
  lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  const auto missing = errorOf<CLIClientError>(directory / "cli.sock").kind();
  const auto present = errorOf<CLIClientError>(existing).description();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &original), 0);

  EXPECT_EQ(missing, CLIClientError::Kind::appNotRunning);
  EXPECT_EQ(present, "Failed to create socket.");
}

TEST_F(CLIClientTest, SocketFileWithoutListenerIsNotResponding) {
  TemporaryDirectory directory;
  const std::string path = directory / "cli.sock";
  {
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(socket);  // leaves the file behind, as a crashed app would
  }
  EXPECT_EQ(clientError(path), "Kestrune is not responding. Try restarting the app.");

  ASSERT_EQ(::symlink((directory / "gone").c_str(), (directory / "dangling").c_str()), 0);
  const auto failed = errorOf<CLIClientError>(directory / "dangling");
  EXPECT_EQ(failed.kind(), CLIClientError::Kind::connectionFailed);
  EXPECT_EQ(failed.errorNumber(), ENOENT);
  EXPECT_EQ(failed.description(), "Connection failed: No such file or directory");
}

TEST_F(CLIClientTest, SocketPathsUpTo103BytesFit) {
  TemporaryDirectory directory;
  {
    FakeServer server(pathOfLength(directory, 103), replyWith(frame(okBody)));
    EXPECT_TRUE(CLIClient(server.socketPath()).send(getVolume()).success);
  }
  {
    FakeServer server(pathOfLength(directory, 104), replyWith(frame(okBody)));
    EXPECT_EQ(clientError(server.socketPath()), "Socket path is too long.");
    EXPECT_FALSE(server.accepted());
  }
}

TEST_F(CLIClientTest, EmptyReplyFailsToDecode) {
  FakeServer server(replyWith(header(0)));
  EXPECT_EQ(protocolError(server.socketPath()), "Decoding failed: " + decoderDescription(""));
}

TEST_F(CLIClientTest, MalformedRepliesFailToDecodeWithTheDecodersText) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  for (const std::string& body :
       {std::string("not json"), std::string(R"({"message":"no success"})"),
        std::string(R"({"success":"yes"})"), deep}) {
    FakeServer server(replyWith(frame(body)));
    const auto error = errorOf<CLIProtocolError>(server.socketPath());
    EXPECT_EQ(error.kind(), CLIProtocolError::Kind::decodingFailed);
    EXPECT_EQ(error.description(), "Decoding failed: " + decoderDescription(body))
        << body.substr(0, 40);
  }
}

TEST_F(CLIClientTest, ReplyOfExactlyTheLimitIsRead) {
  const std::string prefix = R"({"success":true,"message":")";
  const std::string suffix = R"("})";
  const std::string text(CLIClient::maxMessageSize - prefix.size() - suffix.size(), 'm');
  FakeServer server(replyWith(frame(prefix + text + suffix)));
  const auto response = CLIClient(server.socketPath()).send(getVolume());
  EXPECT_EQ(response.message, text);
}

TEST_F(CLIClientTest, ReplyAnnouncedOverTheLimitIsRefusedUnread) {
  // The server sends only the header and waits: a client that tried to read
  // the body would block instead of failing at once.
  FakeServer server([](int connection) {
    readFrame(connection);
    writeBytes(connection, header(CLIClient::maxMessageSize + 1));
    drain(connection);
  });
  const auto error = errorOf<CLIProtocolError>(server.socketPath());
  EXPECT_EQ(error.description(), "Message too large: 1048577 bytes (max 1048576)");
  EXPECT_EQ(error.byteCount(), 1048577U);
  FakeServer huge(replyWith(header(0xFFFFFFFFU)));
  EXPECT_EQ(protocolError(huge.socketPath()), "Message too large: 4294967295 bytes (max 1048576)");
}

TEST_F(CLIClientTest, ReplyCutAnywhereIsAnUnexpectedEnd) {
  const std::string reply = frame(okBody);
  for (std::size_t length = 0; length < reply.size(); ++length) {
    FakeServer server(replyWith(reply.substr(0, length)));
    EXPECT_EQ(protocolError(server.socketPath()), "Unexpected end of connection")
        << "cut after " << length << " bytes";
  }
}

TEST_F(CLIClientTest, OversizedRequestIsRefusedBeforeWriting) {
  std::size_t bytesReceived = 1;
  const auto command = requestWithAppID(CLIClient::maxMessageSize);
  const auto encodedSize = encodeCompact(command).size();
  {
    FakeServer server([&](int connection) { bytesReceived = drain(connection); });
    EXPECT_EQ(protocolError(server.socketPath(), command),
              "Message too large: " + std::to_string(encodedSize) + " bytes (max 1048576)");
  }
  EXPECT_EQ(bytesReceived, 0U);
}

TEST_F(CLIClientTest, PeerClosingBeforeReadingIsAWriteFailureNotADeath) {
  // Large enough that the write cannot complete into the socket buffer.
  const auto command = requestWithAppID(CLIClient::maxMessageSize - 64);
  FakeServer server([](int) {});
  const auto error = errorOf<CLIProtocolError>(server.socketPath(), command);
  if (error.kind() == CLIProtocolError::Kind::writeFailed) {
    EXPECT_TRUE(error.errorNumber() == EPIPE || error.errorNumber() == ECONNRESET)
        << error.description();
  } else {
    EXPECT_EQ(error.kind(), CLIProtocolError::Kind::unexpectedEOF) << error.description();
  }
}

namespace {

std::atomic<int> interruptions{0};
void countInterruption(int) {
  ++interruptions;
}

}  // namespace

TEST_F(CLIClientTest, InterruptedReadsAreRetried) {
  struct sigaction action {};
  action.sa_handler = countInterruption;
  action.sa_flags = 0;  // no automatic restart: the read sees EINTR
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
  interruptions = 0;
  const pthread_t clientThread = ::pthread_self();
  CLIResponse response;
  {
    FakeServer server([&](int connection) {
      readFrame(connection);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ::pthread_kill(clientThread, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      writeBytes(connection, frame(okBody));
    });
    response = CLIClient(server.socketPath()).send(getVolume());
  }
  ASSERT_EQ(::sigaction(SIGUSR1, &previous, nullptr), 0);
  EXPECT_EQ(interruptions, 1);
  EXPECT_TRUE(response.success);
}

TEST(CLIClientConfiguration, SocketPathAndTimeLimit) {
  EXPECT_EQ(CLIClient(std::string("/custom/path.sock")).socketPath(), "/custom/path.sock");
  EXPECT_EQ(CLIClient(std::string("")).socketPath(), "");
  EXPECT_EQ(CLIClient().socketPath(), CLIClient::defaultSocketPath());
  EXPECT_EQ(CLIClient().timeout(), 10.0);
}

#ifndef __APPLE__
TEST(CLIClientConfiguration, DefaultSocketPathFollowsTheDataDirectory) {
  {
    ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(CLIClient::defaultSocketPath(), "/srv/data/Kestrune/cli.sock");
  }
  const auto home = platform::homeDirectory();
  const std::string expected =
      home ? platform::applicationSupportDirectories().front() + "/Kestrune/cli.sock"
           : "/tmp/kestrune_cli.sock";
  for (const auto& value : {std::optional<std::string>(), std::optional<std::string>("rel/dir")}) {
    ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", value);
    EXPECT_EQ(CLIClient::defaultSocketPath(), expected);
    if (home) {
      EXPECT_EQ(expected, (*home == "/" ? "" : *home) + "/.local/share/Kestrune/cli.sock");
    }
  }
}
#endif

TEST(CLIErrors, DescriptionsAreFixedTexts) {
  EXPECT_EQ(CLIClientError::connectionFailed(ECONNRESET).description(),
            "Connection failed: Connection reset by peer");
  EXPECT_STREQ(CLIClientError::timeout().what(), "Command timed out.");
  EXPECT_EQ(CLIProtocolError::writeFailed(EPIPE).description(), "Write failed: Broken pipe");
  EXPECT_EQ(CLIProtocolError::readFailed(EAGAIN).description(),
            "Read failed: Resource temporarily unavailable");
  EXPECT_EQ(CLIProtocolError::encodingFailed("bad number").description(),
            "Encoding failed: bad number");
  EXPECT_EQ(CLIProtocolError::decodingFailed("bad text").underlyingDescription(), "bad text");
}
