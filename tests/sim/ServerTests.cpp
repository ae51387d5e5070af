#include "sim/Server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <stdexcept>
#include <vector>

#include "SimTestSupport.h"
#include "client/CLIClient.h"
#include "platform/TestSupport.h"
#include "protocol/Coding.h"
#include "sim/Framing.h"
#include "sim/SimulatedState.h"

namespace kestrune::sim {
namespace {

using namespace std::chrono_literals;
using testing::connectTo;
using testing::lengthPrefix;
using testing::payload;
using testing::readFrameBody;
using testing::requestFrame;
using testing::writeAll;
using Clock = std::chrono::steady_clock;

std::string errorOf(const std::string& replyFrameBytes) {
  const CLIResponse response = decodeCLIResponse(replyFrameBytes.substr(frameHeaderSize));
  EXPECT_FALSE(response.success);
  return response.error.value_or("(no error)");
}

std::string errorOf(const std::optional<std::string>& body) {
  if (!body) {
    return "(connection closed without a reply)";
  }
  const CLIResponse response = decodeCLIResponse(*body);
  EXPECT_FALSE(response.success);
  return response.error.value_or("(no error)");
}

TEST(ReplyFrameTest, BodiesThatAreNotRequestsGetAFailureSayingWhy) {
  SimulatedState state;
  EXPECT_EQ(errorOf(replyFrame(state, "{}")),
            "Invalid request: Invalid number of keys found, expected one. at (root)");
  EXPECT_EQ(errorOf(replyFrame(state, R"({"getVolume":{},"getStatus":{}})")),
            "Invalid request: Invalid number of keys found, expected one. at (root)");
  EXPECT_EQ(errorOf(replyFrame(state, R"({"setMute":{"action":"Toggle"}})"))
                .rfind("Invalid request: ", 0),
            0U);
  EXPECT_EQ(errorOf(replyFrame(state, "not json")).rfind("Invalid request: ", 0), 0U);
  EXPECT_EQ(errorOf(replyFrame(state, "")).rfind("Invalid request: ", 0), 0U);
  // The frame's length prefix matches its body.
  const std::string reply = replyFrame(state, R"({"getVolume":{}})");
  EXPECT_EQ(reply, requestFrame(R"({"success":true,"data":{"volume":{"_0":50}}})"));
}

TEST(ReplyFrameTest, AHandlerThatThrowsGetsAnInternalErrorReply) {
  struct Throwing : RequestHandler {
    CLIResponse handle(const CLICommand&) override { throw std::runtime_error("boom"); }
  } throwing;
  EXPECT_EQ(errorOf(replyFrame(throwing, R"({"getVolume":{}})")), "Internal error: boom");
}

class ServerTest : public ::testing::Test {
 protected:
  testing_support::TemporaryDirectory directory;
  std::string path = directory / "cli.sock";
  SimulatedState state;
};

TEST_F(ServerTest, AnswersTheCommandLineClientAndKeepsChanges) {
  testing::BackgroundServer server(path, state);
  CLIClient client(path);
  EXPECT_EQ(
      payload<CLIResponseData::Volume>(client.send(CLICommand{CLICommand::SetVolume{40}})).value,
      40);
  const CLIResponse volume = CLIClient(path).send(CLICommand{CLICommand::GetVolume{}});
  EXPECT_EQ(payload<CLIResponseData::Volume>(volume).value, 40);
}

TEST_F(ServerTest, AnOversizeAnnouncementIsAnsweredThenClosedWithoutReadingTheBody) {
  testing::BackgroundServer server(path, state);
  const auto fd = connectTo(path);
  writeAll(fd.get(), lengthPrefix(maxMessageSize + 1));
  EXPECT_EQ(errorOf(readFrameBody(fd.get())),
            "Invalid request: message too large: 1048577 bytes (max 1048576)");
  EXPECT_TRUE(testing::closedByPeer(fd.get()));
}

TEST_F(ServerTest, ABodyOfExactlyTheLimitIsRead) {
  testing::BackgroundServer server(path, state);
  // Members beside the case are ignored, so padding keeps it a request.
  std::string body = R"({"getVolume":{},"padding":")";
  body += std::string(maxMessageSize - body.size() - 2, 'x') + "\"}";
  ASSERT_EQ(body.size(), maxMessageSize);
  const CLIResponse response = testing::exchangeRaw(path, requestFrame(body));
  EXPECT_EQ(payload<CLIResponseData::Volume>(response).value, 50);
}

TEST_F(ServerTest, ATruncatedFrameIsAnsweredWithWhatWasMissing) {
  testing::BackgroundServer server(path, state);
  {
    const auto fd = connectTo(path);
    writeAll(fd.get(), lengthPrefix(100) + std::string(10, '{'));
    ASSERT_EQ(::shutdown(fd.get(), SHUT_WR), 0);
    EXPECT_EQ(errorOf(readFrameBody(fd.get())),
              "Invalid request: the connection ended after 10 of 100 bytes of the request");
  }
  {
    const auto fd = connectTo(path);
    writeAll(fd.get(), std::string(2, '\0'));
    ASSERT_EQ(::shutdown(fd.get(), SHUT_WR), 0);
    EXPECT_EQ(errorOf(readFrameBody(fd.get())),
              "Invalid request: the connection ended after 2 of the 4 bytes of the length prefix");
  }
  // A client that connects and leaves without a byte is simply closed.
  {
    const auto fd = connectTo(path);
    ASSERT_EQ(::shutdown(fd.get(), SHUT_WR), 0);
    EXPECT_FALSE(readFrameBody(fd.get()).has_value());
  }
  EXPECT_TRUE(testing::exchange(path, CLICommand{CLICommand::GetVolume{}}).success);
}

TEST_F(ServerTest, GarbageGetsAFailureReplyAndTheServerGoesOn) {
  testing::BackgroundServer server(path, state);
  EXPECT_EQ(testing::exchangeRaw(path, requestFrame("\xff\xfe garbage"))
                .error.value_or("")
                .rfind("Invalid request: ", 0),
            0U);
  EXPECT_EQ(testing::exchangeRaw(path, requestFrame(R"({"reboot":{}})")).error,
            "Invalid request: Invalid number of keys found, expected one. at (root)");
  EXPECT_TRUE(testing::exchange(path, CLICommand{CLICommand::GetStatus{}}).success);
}

TEST_F(ServerTest, AClientThatLeavesBeforeTheReplyDoesNotStopTheServer) {
  testing::BackgroundServer server(path, state);
  for (int i = 0; i < 20; ++i) {
    const auto fd = connectTo(path);
    writeAll(fd.get(), requestFrame(R"({"listApps":{}})"));
  }  // closed at once: the replies meet closed sockets (no SIGPIPE may end this process)
  EXPECT_TRUE(testing::exchange(path, CLICommand{CLICommand::ListApps{}}).success);
}

// Whether the server has closed the connection yet, without waiting.
bool stillOpen(int fd) {
  pollfd event{fd, POLLIN, 0};
  return ::poll(&event, 1, 0) == 0;
}

TEST_F(ServerTest, StalledClientsDelayNobodyAndAreClosedAtTheDeadline) {
  testing::BackgroundServer server(path, state, ServerOptions{1500ms, 64});
  const auto silent = connectTo(path);
  const auto halfHeader = connectTo(path);
  writeAll(halfHeader.get(), std::string(2, '\0'));

  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(testing::exchange(path, CLICommand{CLICommand::GetVolume{}}).success);
  }
  // Served while the stalled clients still held their connections.
  EXPECT_TRUE(stillOpen(silent.get()));
  EXPECT_TRUE(stillOpen(halfHeader.get()));

  EXPECT_TRUE(testing::closedByPeer(silent.get()));
  EXPECT_TRUE(testing::closedByPeer(halfHeader.get()));
}

TEST_F(ServerTest, ConnectionsBeyondTheBoundWaitForAFreeSlot) {
  testing::BackgroundServer server(path, state, ServerOptions{400ms, 2});
  const auto first = connectTo(path);
  const auto second = connectTo(path);
  std::this_thread::sleep_for(50ms);  // both accepted and stalled

  const auto start = Clock::now();
  const CLIResponse response = testing::exchange(path, CLICommand{CLICommand::GetVolume{}});
  const auto waited = Clock::now() - start;
  EXPECT_TRUE(response.success);
  EXPECT_GE(waited, 250ms) << "a third connection was served beside two open ones";
  EXPECT_LT(waited, 2s);
}

TEST_F(ServerTest, ServesManyClientsAtOnce) {
  testing::BackgroundServer server(path, state);
  std::vector<std::thread> clients;
  clients.reserve(8);
  std::atomic<int> answered{0};
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        const CLICommand command{CLICommand::SetAppVolume{"Music", double(t)}};
        if (CLIClient(path).send(command).success) {
          ++answered;
        }
      }
    });
  }
  for (auto& client : clients) {
    client.join();
  }
  EXPECT_EQ(answered.load(), 400);
}

}  // namespace
}  // namespace kestrune::sim
