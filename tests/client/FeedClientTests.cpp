#include "client/FeedClient.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "client/FakeServer.h"

using namespace kestrune;
using namespace testing_support;

namespace {

const std::string snapshotBody = R"({"event":"snapshot","status":{"outputVolume":40}})";
const std::string eventBody = R"({"event":"app-removed","id":"mpv"})";

std::size_t openDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// The error of following a server that does what `script` says, up to the
// second frame.
FeedClientError followingError(const std::string& socketPath) {
  try {
    FeedClient client(Subscription{}, socketPath);
    client.next();
    client.next();
  } catch (const FeedClientError& error) {
    return error;
  }
  ADD_FAILURE() << "following did not fail";
  throw std::logic_error("no error");
}

FeedClientError errorAnswering(std::string bytes) {
  FakeServer server([bytes = std::move(bytes)](int connection) {
    readFrame(connection);
    writeBytes(connection, bytes);
  });
  return followingError(server.socketPath());
}

class FeedClientTest : public ::testing::Test {
 protected:
  void SetUp() override { descriptorsBefore_ = openDescriptorCount(); }
  void TearDown() override { EXPECT_EQ(openDescriptorCount(), descriptorsBefore_); }

 private:
  std::size_t descriptorsBefore_ = 0;
};

}  // namespace

TEST_F(FeedClientTest, SubscribesThenTakesFramesHoweverTheyArrive) {
  std::string received;
  Subscription subscription;
  subscription.only = FeedKinds::none();
  subscription.only.add(FeedKind::status);
  subscription.only.add(FeedKind::apps);
  FakeServer server([&](int connection) {
    received = readFrame(connection);
    // Two frames cut at odd places: inside the first header, then across
    // the boundary between them.
    const std::string bytes = frame(snapshotBody) + frame(eventBody);
    writeBytes(connection, bytes.substr(0, 2));
    writeBytes(connection, bytes.substr(2, snapshotBody.size() + 5));
    writeBytes(connection, bytes.substr(snapshotBody.size() + 7));
  });
  FeedClient client(subscription, server.socketPath());
  const auto snapshot = client.next();
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(json::writeCompact(*snapshot), snapshotBody);
  const auto event = client.next();
  ASSERT_TRUE(event);
  EXPECT_EQ(json::writeCompact(*event), eventBody);
  EXPECT_EQ(received, frame(R"({"subscribe":{"only":["status","apps"]}})"));

  try {
    client.next();
    ADD_FAILURE() << "a closed connection went unnoticed";
  } catch (const FeedClientError& error) {
    EXPECT_EQ(error.kind(), FeedClientError::Kind::connectionLost);
    EXPECT_EQ(error.errorNumber(), 0);
    EXPECT_EQ(error.description(), "Kestrune closed the connection.");
  }
}

TEST_F(FeedClientTest, NoSocketOrNobodyListeningMeansNotRunning) {
  TemporaryDirectory directory;
  EXPECT_EQ(followingError(directory / "cli.sock").kind(), FeedClientError::Kind::notRunning);
  EXPECT_EQ(followingError(directory / "cli.sock").description(), "Kestrune is not running.");

  const std::string stale = directory / "stale.sock";
  {
    const platform::FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, stale.c_str(), stale.size() + 1);
    ASSERT_EQ(::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }  // closed: the file stays, as a killed application leaves it
  EXPECT_EQ(followingError(stale).kind(), FeedClientError::Kind::notRunning);

  const FeedClientError tooLong = followingError(directory / std::string(120, 's'));
  EXPECT_EQ(tooLong.kind(), FeedClientError::Kind::notRunning);  // nothing there either
  ASSERT_EQ(::symlink(stale.c_str(), (directory / std::string(110, 'l')).c_str()), 0);
  const FeedClientError overlong = followingError(directory / std::string(110, 'l'));
  EXPECT_EQ(overlong.kind(), FeedClientError::Kind::connectionFailed);
  EXPECT_EQ(overlong.errorNumber(), ENAMETOOLONG);
}

TEST_F(FeedClientTest, AFailureReplyFirstIsARefusalWithTheServersText) {
  const FeedClientError refused = errorAnswering(frame(
      R"({"success":false,"error":"Too many subscribers: at most 64 may follow the changes at once."})"));
  EXPECT_EQ(refused.kind(), FeedClientError::Kind::refused);
  EXPECT_EQ(refused.detail(), "Too many subscribers: at most 64 may follow the changes at once.");
  EXPECT_EQ(refused.description(),
            "The subscription was refused: Too many subscribers: at most 64 may follow the "
            "changes at once.");
  EXPECT_EQ(errorAnswering(frame(R"({"success":false})")).description(),
            "The subscription was refused.");
}

TEST_F(FeedClientTest, FramesThatAreNotTheFeedAreMalformed) {
  const std::array<std::pair<std::string, std::string>, 6> cases = {{
      {header(FeedClient::maxFrameSize + 1), "a frame of 1048577 bytes (at most 1048576)"},
      {frame("{\"event\":"), "unexpected end of input"},
      {frame("[1]"), "not a JSON object"},
      {frame(R"({"success":true,"data":{"volume":{"_0":40}}})"), "a reply instead of the feed"},
      {frame(R"({"kind":"snapshot"})"), "a frame without an \"event\""},
      // A reply is taken as a refusal only in first place.
      {frame(snapshotBody) + frame(R"({"success":false,"error":"late"})"),
       "a frame without an \"event\""},
  }};
  for (const auto& [bytes, detail] : cases) {
    const FeedClientError error = errorAnswering(bytes);
    EXPECT_EQ(error.kind(), FeedClientError::Kind::malformedFrame) << detail;
    EXPECT_NE(error.detail().find(detail), std::string::npos) << error.detail();
    EXPECT_EQ(error.description(), "Malformed frame from Kestrune: " + error.detail());
  }
}

TEST_F(FeedClientTest, AStopDescriptorCutsTheWaitShortAndTheFrameStays) {
  std::array<int, 2> pipe{};
  ASSERT_EQ(::pipe(pipe.data()), 0);
  const platform::FileDescriptor readEnd(pipe[0]);
  const platform::FileDescriptor writeEnd(pipe[1]);
  FakeServer server([](int connection) {
    readFrame(connection);
    writeBytes(connection, frame(snapshotBody));
    drain(connection);  // until the client leaves
  });
  FeedClient client(Subscription{}, server.socketPath());
  ASSERT_EQ(::write(writeEnd.get(), "x", 1), 1);
  EXPECT_FALSE(client.next(readEnd.get()));

  // With the stop still readable, other interrupters are told which fired.
  std::array<pollfd, 2> interrupters{pollfd{readEnd.get(), POLLIN, 0},
                                     pollfd{writeEnd.get(), 0, 0}};
  EXPECT_FALSE(client.next(interrupters));
  EXPECT_EQ(interrupters[0].revents, POLLIN);
  EXPECT_EQ(interrupters[1].revents, 0);

  std::array<char, 1> byte{};
  ASSERT_EQ(::read(readEnd.get(), byte.data(), 1), 1);
  const auto snapshot = client.next(readEnd.get());
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(json::writeCompact(*snapshot), snapshotBody);
}
