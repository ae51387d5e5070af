// Frames over the request bound, bursts of clients at the connection limit.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "client/CLIClient.h"
#include "platform/TestSupport.h"
#include "protocol/Coding.h"
#include "server/FrameReader.h"
#include "server/Framing.h"
#include "server/Server.h"
#include "server/support/ServerTestSupport.h"

namespace kestrune::server {
namespace {

using namespace std::chrono_literals;
using testing::connectTo;
using testing::requestFrame;
using testing::writeAll;

// Feeds `bytes` to a reader in pieces of `piece` bytes, as far as it takes them.
std::size_t feed(FrameReader& reader, std::string_view bytes, std::size_t piece) {
  std::size_t used = 0;
  while (used < bytes.size() && !reader.room().empty()) {
    const std::span<char> room = reader.room();
    const std::size_t count = std::min({piece, room.size(), bytes.size() - used});
    std::copy_n(bytes.data() + used, count, room.data());
    reader.took(count);
    used += count;
  }
  return used;
}

TEST(FrameReaderTest, AFrameSplitAnywhereReadsAsItsBodyAndNothingPastIt) {
  const std::string stream = requestFrame(R"({"getVolume":{}})") + "next frame";
  for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
    FrameReader reader(maxRequestSize);
    EXPECT_EQ(feed(reader, stream, piece), stream.size() - 10) << piece;
    ASSERT_EQ(reader.state(), FrameReader::State::complete) << piece;
    EXPECT_EQ(reader.body(), R"({"getVolume":{}})");
  }
  FrameReader empty(maxRequestSize);
  EXPECT_EQ(feed(empty, testing::lengthPrefix(0), 1), 4U);
  EXPECT_EQ(empty.state(), FrameReader::State::complete);
  EXPECT_EQ(empty.body(), "");
}

TEST(FrameReaderTest, ABodyOverTheBoundIsRefusedOnItsPrefixAndACutFrameSaysWhere) {
  FrameReader large(10);
  EXPECT_EQ(feed(large, testing::lengthPrefix(11) + std::string(11, 'x'), 3), 4U);
  EXPECT_EQ(large.state(), FrameReader::State::tooLarge);
  EXPECT_EQ(large.tooLargeError(), "Invalid request: message too large: 11 bytes (max 10)");

  FrameReader exact(10);
  EXPECT_EQ(feed(exact, testing::lengthPrefix(10) + std::string(10, 'x'), 3), 14U);
  EXPECT_EQ(exact.state(), FrameReader::State::complete);

  FrameReader cut(10);
  EXPECT_FALSE(cut.started());
  feed(cut, testing::lengthPrefix(8) + "abc", 2);
  EXPECT_EQ(cut.endedEarlyError(),
            "Invalid request: the connection ended after 3 of 8 bytes of the request");
}

class RequestLimitsTest : public ::testing::Test {
 protected:
  testing_support::TemporaryDirectory directory;
  std::string path = directory / "cli.sock";
  testing::VolumeKeeper state;
};

TEST_F(RequestLimitsTest, ARequestOverTheBoundIsRefusedAndTheClientReadsWhy) {
  testing::BackgroundServer server(path, state);
  // Far more than the socket holds: the client is still writing when the
  // server refuses and closes.
  const CLICommand huge{CLICommand::SetAppVolume{std::string(1000000, 'a'), 30}};
  const CLIResponse refused = CLIClient(path).send(huge);
  EXPECT_FALSE(refused.success);
  EXPECT_EQ(refused.error, "Invalid request: message too large: " +
                               std::to_string(encodeCompact(huge).size()) + " bytes (max 65536)");

  const CLICommand longName{CLICommand::SetAppVolume{std::string(60000, 'a'), 30}};
  EXPECT_EQ(CLIClient(path).send(longName).message, "ok");
}

TEST_F(RequestLimitsTest, AClientThatHasNotWrittenYetIsNeverClosedToMakeRoom) {
  ServerOptions options;
  options.maxConnections = 4;
  options.idleBeforeEviction = 30s;
  testing::BackgroundServer server(path, state, options);
  std::vector<platform::FileDescriptor> early;
  for (int i = 0; i < 4; ++i) {
    early.push_back(connectTo(path));
  }
  // Waits in the listen backlog until one of the four is done.
  const auto late = connectTo(path);
  writeAll(late.get(), requestFrame(R"({"getVolume":{}})"));
  for (const auto& client : early) {
    writeAll(client.get(), requestFrame(R"({"getVolume":{}})"));
  }
  for (const auto& client : early) {
    EXPECT_TRUE(testing::readFrameBody(client.get()).has_value());
  }
  EXPECT_TRUE(testing::readFrameBody(late.get()).has_value());
}

TEST_F(RequestLimitsTest, FiveHundredClientsConnectedAtOnceAreAllAnswered) {
  testing::raiseDescriptorLimit(1200);
  testing::BackgroundServer server(path, state);
  std::vector<platform::FileDescriptor> clients;
  clients.reserve(500);
  for (int i = 0; i < 500; ++i) {
    clients.push_back(connectTo(path));
  }
  for (const auto& client : clients) {
    writeAll(client.get(), requestFrame(R"({"getVolume":{}})"));
  }
  int answered = 0;
  for (const auto& client : clients) {
    answered += testing::readFrameBody(client.get()).has_value() ? 1 : 0;
  }
  EXPECT_EQ(answered, 500);
}

}  // namespace
}  // namespace kestrune::server
