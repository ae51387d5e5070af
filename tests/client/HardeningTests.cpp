// The client against applications that answer badly: slowly, in pieces,
// with more than one frame, or not at all. Each exchange must end in the
// response or the specified error, within the socket's time limit, with no
// descriptor left open.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "client/CLIClient.h"
#include "client/FakeServer.h"
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

CLICommand getStatus() {
  return CLICommand{CLICommand::GetStatus{}};
}

// A realistic reply: multi-byte characters, nested records, optional members.
const std::string statusBody =
    R"({"success":true,"data":{"status":{"_0":{"version":"2.1.0","isRunning":true,)"
    R"("outputDevice":{"uid":"USB-1","name":"Café Speakers ♪","isInput":false,"isOutput":true,)"
    R"("isDefault":true,"volume":80},"outputVolume":42.5,"isMuted":false,"isSilentMode":true,)"
    R"("activeAppCount":3,"cliInstalled":true}}},"message":"ok"})";

std::string protocolFailure(const std::string& socketPath) {
  try {
    CLIClient(socketPath).send(getStatus());
  } catch (const CLIProtocolError& error) {
    return error.description();
  }
  return "(no protocol error)";
}

class ClientHardening : public ::testing::Test {
 protected:
  void SetUp() override { descriptorsBefore_ = openDescriptorCount(); }
  void TearDown() override { EXPECT_EQ(openDescriptorCount(), descriptorsBefore_); }

 private:
  std::size_t descriptorsBefore_ = 0;
};

}  // namespace

TEST_F(ClientHardening, ReplyTrickledOneByteAtATimeIsReadWhole) {
  FakeServer server([](int connection) {
    readFrame(connection);
    for (const char byte : frame(statusBody)) {
      writeBytes(connection, std::string(1, byte));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  const CLIResponse response = CLIClient(server.socketPath()).send(getStatus());
  EXPECT_EQ(encodeCompact(response), encodeCompact(decodeCLIResponse(statusBody)));
}

TEST_F(ClientHardening, BytesAfterTheReplyFrameAreNotRead) {
  FakeServer server([](int connection) {
    readFrame(connection);
    writeBytes(connection, frame(statusBody) + frame("{\"success\":false}") + "garbage");
  });
  const CLIResponse response = CLIClient(server.socketPath()).send(getStatus());
  EXPECT_TRUE(response.success);
  EXPECT_EQ(response.message, "ok");
}

TEST_F(ClientHardening, RealisticReplyCutAnywhereIsAnUnexpectedEnd) {
  const std::string reply = frame(statusBody);
  for (std::size_t length = 0; length < reply.size(); length += 7) {
    FakeServer server([&](int connection) {
      readFrame(connection);
      writeBytes(connection, reply.substr(0, length));
    });
    EXPECT_EQ(protocolFailure(server.socketPath()), "Unexpected end of connection")
        << "cut after " << length << " bytes";
  }
}

TEST_F(ClientHardening, ReplyWhoseLengthCoversTwoMessagesFailsToDecode) {
  const std::string body = statusBody + statusBody;
  FakeServer server([&](int connection) {
    readFrame(connection);
    writeBytes(connection, frame(body));
  });
  EXPECT_EQ(protocolFailure(server.socketPath()).rfind("Decoding failed: ", 0), 0U);
}

// The one slow test: an application that accepts and never answers must not
// hang the client beyond its 10-second limit.
TEST_F(ClientHardening, SilentApplicationEndsInAReadFailureWithinTheLimit) {
  FakeServer server([](int connection) {
    readFrame(connection);
    drain(connection);  // until the client gives up and closes
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(protocolFailure(server.socketPath()), "Read failed: Resource temporarily unavailable");
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_GE(elapsed, std::chrono::milliseconds(9900));
  EXPECT_LT(elapsed, std::chrono::seconds(12));
}
