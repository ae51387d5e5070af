#include "server/Feed.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "json/Value.h"
#include "platform/TestSupport.h"
#include "protocol/Coding.h"
#include "server/support/ServerTestSupport.h"

namespace kestrune::server {
namespace {

using namespace std::chrono_literals;
using testing::connectTo;
using testing::readFrameBody;
using testing::requestFrame;
using testing::writeAll;

CLIDeviceInfo speakers(double volume) {
  CLIDeviceInfo device;
  device.uid = "speakers";
  device.name = "Speakers";
  device.isOutput = true;
  device.isDefault = true;
  device.volume = volume;
  return device;
}

FeedState stateWithVolume(double volume) {
  FeedState state;
  state.status.version = "1.0.0";
  state.status.isRunning = true;
  state.status.outputVolume = volume;
  state.devices = {speakers(volume)};
  return state;
}

std::string eventName(const std::string& body) {
  const json::Value frame = json::parse(body);
  const json::Value* name = frame.find("event");
  return name != nullptr && name->isString() ? name->asString() : "(not an event: " + body + ")";
}

// Reads what the socket holds: whether the server closed it after that.
bool endsAfterWhatItHolds(int fd) {
  std::array<char, 65536> sink{};
  while (true) {
    const auto n = ::recv(fd, sink.data(), sink.size(), 0);
    if (n > 0 || (n < 0 && errno == EINTR)) {
      continue;
    }
    return n == 0 || errno == ECONNRESET;
  }
}

class FeedServerTest : public ::testing::Test {
 protected:
  void start(ServerOptions options = {}) {
    feed_.publish(stateWithVolume(40));
    server_ = std::make_unique<testing::BackgroundServer>(path_, handler_, options, &feed_);
  }

  platform::FileDescriptor subscribe(std::string_view request = R"({"subscribe":{}})") const {
    platform::FileDescriptor fd = connectTo(path_);
    writeAll(fd.get(), requestFrame(request));
    return fd;
  }

  testing_support::TemporaryDirectory directory_;
  std::string path_ = directory_ / "feed.sock";
  testing::VolumeKeeper handler_;
  Feed feed_;
  std::unique_ptr<testing::BackgroundServer> server_;
};

TEST_F(FeedServerTest, ASubscriberGetsTheSnapshotThenEachChangeByIdentity) {
  start();
  const auto fd = subscribe();
  const auto snapshot = readFrameBody(fd.get());
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(json::writeCompact(json::parse(*snapshot)),
            json::writeCompact(snapshotEvent(stateWithVolume(40), FeedKinds::all())));

  feed_.publish(stateWithVolume(55));
  EXPECT_EQ(readFrameBody(fd.get()).value_or(""),
            R"({"event":"device","device":{"uid":"speakers","name":"Speakers","isInput":false,)"
            R"("isOutput":true,"isDefault":true,"volume":55}})");
  const auto status = readFrameBody(fd.get());
  ASSERT_TRUE(status);
  EXPECT_EQ(eventName(*status), "status");
  EXPECT_EQ(json::parse(*status).find("status")->find("outputVolume")->asDouble(), 55);

  feed_.update([](FeedState& state) { state.devices.clear(); });
  EXPECT_EQ(readFrameBody(fd.get()).value_or(""), R"({"event":"device-removed","uid":"speakers"})");
}

TEST_F(FeedServerTest, ABurstOfChangesGivesFewFramesEndingInTheFinalState) {
  start();
  const auto fd = subscribe(R"({"subscribe":{"only":["status"]}})");
  const auto snapshot = readFrameBody(fd.get());
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(json::parse(*snapshot).find("devices"), nullptr) << "only the status was asked for";
  // 60 values within a second, as a dragged slider gives them.
  for (int volume = 1; volume <= 60; ++volume) {
    feed_.publish(stateWithVolume(volume));
    std::this_thread::sleep_for(16ms);
  }
  std::vector<double> seen;
  while (seen.empty() || seen.back() != 60) {
    const auto body = readFrameBody(fd.get());
    ASSERT_TRUE(body) << "the final state never came; last seen "
                      << (seen.empty() ? -1 : seen.back());
    ASSERT_EQ(eventName(*body), "status");
    seen.push_back(json::parse(*body).find("status")->find("outputVolume")->asDouble());
  }
  EXPECT_LE(seen.size(), 25U);
  EXPECT_GE(seen.size(), 2U) << "changes go out while the burst lasts, not only at its end";
}

TEST_F(FeedServerTest, ASubscriberThatStopsReadingIsDroppedWithoutHoldingUpOthers) {
  ServerOptions options;
  options.subscriberBacklog = 64 * 1024;
  options.feedInterval = 1ms;
  start(options);
  const auto stuck = subscribe();
  // A small receive buffer fills quickly.
  const int small = 4096;
  ASSERT_EQ(::setsockopt(stuck.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
  const auto reader = subscribe();
  ASSERT_TRUE(readFrameBody(reader.get()));
  FeedState big = stateWithVolume(1);
  big.apps.resize(200);
  for (std::size_t i = 0; i < big.apps.size(); ++i) {
    big.apps[i].id = "app" + std::to_string(i);
    big.apps[i].name = std::string(100, 'x');
  }
  for (int round = 0; round < 100; ++round) {
    big.status.outputVolume = round;
    for (auto& app : big.apps) {
      app.volume = round;
    }
    feed_.publish(big);
    std::this_thread::sleep_for(2ms);
    // The reader keeps up and one-shot clients are answered meanwhile.
    while (true) {
      const auto body = readFrameBody(reader.get());
      ASSERT_TRUE(body);
      if (eventName(*body) == "status") {
        break;
      }
    }
  }
  EXPECT_EQ(testing::payload<CLIResponseData::Volume>(
                testing::exchange(path_, CLICommand{CLICommand::GetVolume{}}))
                .value,
            50);
  EXPECT_TRUE(endsAfterWhatItHolds(stuck.get()));
}

TEST_F(FeedServerTest, SubscribersAreCappedApartFromOneShotConnections) {
  ServerOptions options;
  options.maxSubscribers = 3;
  options.maxConnections = 2;
  start(options);
  std::vector<platform::FileDescriptor> subscribers;
  for (int i = 0; i < 3; ++i) {
    subscribers.push_back(subscribe());
    ASSERT_TRUE(readFrameBody(subscribers.back().get()));
  }
  const auto refused = subscribe();
  const auto reply = readFrameBody(refused.get());
  ASSERT_TRUE(reply);
  EXPECT_EQ(decodeCLIResponse(*reply).error.value_or(""),
            "Too many subscribers: at most 3 may follow the changes at once.");
  // Three subscribers and a connection limit of two: requests are answered.
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(testing::exchange(path_, CLICommand{CLICommand::GetVolume{}}).success);
  }
  // A subscriber that leaves makes room.
  subscribers.pop_back();
  EXPECT_TRUE([&] {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const auto fd = subscribe();
      const auto first = readFrameBody(fd.get());
      if (first && eventName(*first) == "snapshot") {
        return true;
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }());
}

TEST_F(FeedServerTest, BadSubscriptionsAndServersWithoutAFeedAreRefused) {
  start();
  const auto bad = subscribe(R"({"subscribe":{"only":["volume"]}})");
  const auto reply = readFrameBody(bad.get());
  ASSERT_TRUE(reply);
  EXPECT_EQ(decodeCLIResponse(*reply).error.value_or(""),
            "Invalid subscription: Unknown kind \"volume\"; the kinds are status, devices, apps, "
            "media, bluetooth at (root).subscribe.only[0]");
  // Beside a request, a subscription is refused as a request naming two
  // would be; one following nothing takes no place.
  const std::pair<const char*, const char*> refused[] = {
      {R"({"subscribe":{},"getStatus":{}})",
       "Invalid subscription: Invalid number of keys found, expected one. at (root)"},
      {R"({"subscribe":{"only":[]}})",
       "Invalid subscription: An empty list follows nothing; name at least one kind, or leave "
       "out \"only\" to follow every kind at (root).subscribe.only"},
  };
  for (const auto& [request, error] : refused) {
    const auto fd = subscribe(request);
    const auto answer = readFrameBody(fd.get());
    ASSERT_TRUE(answer) << request;
    EXPECT_EQ(decodeCLIResponse(*answer).error.value_or(""), error) << request;
  }

  const std::string other = directory_ / "plain.sock";
  const testing::BackgroundServer plain(other, handler_);
  const auto fd = connectTo(other);
  writeAll(fd.get(), requestFrame(R"({"subscribe":{}})"));
  const auto refusal = readFrameBody(fd.get());
  ASSERT_TRUE(refusal);
  EXPECT_EQ(decodeCLIResponse(*refusal).error.value_or(""),
            "This application offers no live feed.");
}

}  // namespace
}  // namespace kestrune::server
