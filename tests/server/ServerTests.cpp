#include "server/Server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "client/CLIClient.h"
#include "platform/TestSupport.h"
#include "protocol/Coding.h"
#include "server/Framing.h"
#include "server/support/ServerTestSupport.h"

namespace kestrune::server {
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
  testing::VolumeKeeper state;
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
  testing::VolumeKeeper state;
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
  writeAll(fd.get(), lengthPrefix(maxRequestSize + 1));
  EXPECT_EQ(errorOf(readFrameBody(fd.get())),
            "Invalid request: message too large: 65537 bytes (max 65536)");
  EXPECT_TRUE(testing::closedByPeer(fd.get()));
}

TEST_F(ServerTest, ABodyOfExactlyTheLimitIsRead) {
  testing::BackgroundServer server(path, state);
  // Members beside the case are ignored, so padding keeps it a request.
  std::string body = R"({"getVolume":{},"padding":")";
  body += std::string(maxRequestSize - body.size() - 2, 'x') + "\"}";
  ASSERT_EQ(body.size(), maxRequestSize);
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

TEST_F(ServerTest, AtTheBoundTheConnectionIdleLongestMakesRoom) {
  ServerOptions options{10s, 2};
  options.idleBeforeEviction = 20ms;  // both stalled connections have been idle longer
  testing::BackgroundServer server(path, state, options);
  const auto first = connectTo(path);
  std::this_thread::sleep_for(30ms);
  const auto second = connectTo(path);
  std::this_thread::sleep_for(30ms);  // both accepted and stalled

  EXPECT_TRUE(testing::exchange(path, CLICommand{CLICommand::GetVolume{}}).success);
  EXPECT_TRUE(testing::closedByPeer(first.get()));
  EXPECT_TRUE(stillOpen(second.get()));
}

TEST_F(ServerTest, AThousandSilentConnectionsDoNotLockOthersOut) {
  testing::raiseDescriptorLimit(1200);
  testing::BackgroundServer server(path, state);
  std::vector<platform::FileDescriptor> silent;
  silent.reserve(1000);
  for (int i = 0; i < 1000; ++i) {
    silent.push_back(connectTo(path));
  }
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(testing::exchange(path, CLICommand{CLICommand::GetVolume{}}).success);
  }
}

TEST_F(ServerTest, ARequestStillArrivingAfterItsDeadlineIsAbandoned) {
  testing::BackgroundServer server(path, state, ServerOptions{10s, 64, 200ms});
  const auto halfHeader = connectTo(path);
  writeAll(halfHeader.get(), std::string(2, '\0'));
  const auto start = Clock::now();
  EXPECT_TRUE(testing::closedByPeer(halfHeader.get()));
  EXPECT_LT(Clock::now() - start, 3s);
}

// Answers getVolume later, from another thread, after `delay`; anything
// else at once.
class LateHandler : public RequestHandler {
 public:
  explicit LateHandler(std::chrono::milliseconds delay) : delay_(delay) {}
  ~LateHandler() override {
    for (auto& thread : threads_) {
      thread.join();
    }
  }
  CLIResponse handle(const CLICommand&) override {
    return CLIResponse{true, std::nullopt, std::nullopt, "at once"};
  }
  void begin(const CLICommand& command, Reply reply) override {
    if (!std::holds_alternative<CLICommand::GetVolume>(command.value)) {
      reply(handle(command));
      return;
    }
    const std::lock_guard lock(mutex_);
    threads_.emplace_back([delay = delay_, reply = std::move(reply)] {
      std::this_thread::sleep_for(delay);
      reply(CLIResponse{true, std::nullopt, std::nullopt, "late"});
    });
  }

 private:
  std::chrono::milliseconds delay_;
  std::mutex mutex_;
  std::vector<std::thread> threads_;
};

TEST_F(ServerTest, ASlowAnswerHoldsUpOnlyItsOwnClient) {
  LateHandler late(800ms);
  testing::BackgroundServer server(path, late);
  CLIResponse slow;
  std::thread slowClient(
      [&] { slow = testing::exchange(path, CLICommand{CLICommand::GetVolume{}}); });
  std::this_thread::sleep_for(50ms);
  const auto start = Clock::now();
  EXPECT_EQ(testing::exchange(path, CLICommand{CLICommand::GetStatus{}}).message, "at once");
  EXPECT_LT(Clock::now() - start, 500ms);
  slowClient.join();
  EXPECT_EQ(slow.message, "late");
}

TEST_F(ServerTest, AnAnswerAfterTheDeadlineOrTheServerIsDropped) {
  LateHandler late(300ms);
  {
    testing::BackgroundServer server(path, late, ServerOptions{100ms, 64});
    const auto fd = connectTo(path);
    writeAll(fd.get(), requestFrame(R"({"getVolume":{}})"));
    EXPECT_TRUE(testing::closedByPeer(fd.get()));
    const auto other = connectTo(path);
    writeAll(other.get(), requestFrame(R"({"getVolume":{}})"));
  }
  // The late replies find neither connection nor server; `late` joins them.
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
}  // namespace kestrune::server
