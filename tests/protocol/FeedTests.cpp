#include "protocol/Feed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/Errors.h"

namespace kestrune {
namespace {

CLIDeviceInfo device(std::string uid, double volume) {
  CLIDeviceInfo info;
  info.uid = std::move(uid);
  info.name = "Device " + info.uid;
  info.isOutput = true;
  info.volume = volume;
  return info;
}

CLIAppInfo app(std::string id, double volume) {
  CLIAppInfo info;
  info.id = std::move(id);
  info.name = info.id;
  info.volume = volume;
  return info;
}

FeedState before() {
  FeedState state;
  state.status.version = "1.0.0";
  state.status.isRunning = true;
  state.status.outputVolume = 40;
  state.devices = {device("speakers", 40), device("headphones", 70)};
  state.apps = {app("mpv", 100), app("firefox", 80)};
  state.appIcons = {{"firefox", "firefox"}};
  CLIMediaInfo media;
  media.title = "Song";
  media.isPlaying = true;
  media.position = 12;
  state.media = media;
  state.mediaArtUrl = "file:///tmp/cover.png";
  return state;
}

std::string names(const std::vector<FeedEvent>& events) {
  std::string out;
  for (const FeedEvent& event : events) {
    out += json::writeCompact(*event.body.find("event")) + " ";
  }
  return out;
}

// A client that follows the frames ends where the server is.
TEST(FeedTest, AClientFollowingTheChangesEndsInTheServersState) {
  const FeedState old = before();
  FeedState now = old;
  now.devices[0].volume = 55;                  // changed
  now.devices.pop_back();                      // removed
  now.devices.push_back(device("hdmi", 100));  // appeared
  now.apps.erase(now.apps.begin());            // mpv went away
  now.apps.push_back(app("paplay", 100));      // a new app, with an icon
  now.appIcons["paplay"] = "audio-x-generic";
  now.status.outputVolume = 55;
  now.media->position = 13;        // a tick alone is no change...
  now.media->title = "Next song";  // ...a new track is
  now.bluetoothUnavailable = "Bluetooth is unavailable: BlueZ is not running.";

  const std::vector<FeedEvent> changes = changesBetween(old, now);
  EXPECT_EQ(names(changes),
            R"("device" "device" "device-removed" "app" "app-removed" "status" "media" )"
            R"("bluetooth" )");

  FeedState client;
  ASSERT_TRUE(applyFeedEvent(client, snapshotEvent(old, FeedKinds::all())));
  for (const FeedEvent& change : changes) {
    ASSERT_TRUE(applyFeedEvent(client, change.body));
  }
  EXPECT_EQ(json::writeCompact(snapshotEvent(client, FeedKinds::all())),
            json::writeCompact(snapshotEvent(now, FeedKinds::all())));
  EXPECT_EQ(client.bluetoothUnavailable, now.bluetoothUnavailable);
}

TEST(FeedTest, NothingChangedGivesNoEventsAndPositionTicksAreNotChanges) {
  FeedState ticked = before();
  ticked.media->position = 99;
  EXPECT_TRUE(changesBetween(before(), ticked).empty());
  const json::Value snapshot = snapshotEvent(before(), FeedKinds::all());
  EXPECT_EQ(snapshot.find("media")->find("position"), nullptr);
  EXPECT_EQ(snapshot.find("artUrl")->asString(), "file:///tmp/cover.png");
}

TEST(FeedTest, TheSnapshotHoldsOnlyTheKindsFollowed) {
  FeedKinds kinds = FeedKinds::none();
  kinds.add(FeedKind::media);
  kinds.add(FeedKind::status);
  FeedState gone = before();
  gone.statusUnavailable = "The sound server is not reachable: Connection refused";
  gone.media.reset();
  EXPECT_EQ(json::writeCompact(snapshotEvent(gone, kinds)),
            R"({"event":"snapshot","status":{"version":"1.0.0","isRunning":true,)"
            R"("outputVolume":40,"isMuted":false,"isSilentMode":false,"activeAppCount":0,)"
            R"("cliInstalled":false},"media":null,"unavailable":{"status":"The sound server )"
            R"(is not reachable: Connection refused"}})");
}

TEST(FeedTest, SubscriptionsRoundTripAndUnknownKindsAreRefused) {
  EXPECT_EQ(encodeSubscription(Subscription{}), R"({"subscribe":{}})");
  Subscription some;
  some.only = FeedKinds::none();
  some.only.add(FeedKind::bluetooth);
  some.only.add(FeedKind::apps);
  const std::string wire = encodeSubscription(some);
  EXPECT_EQ(wire, R"({"subscribe":{"only":["apps","bluetooth"]}})");
  const auto decoded = decodeSubscription(wire);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->only.has(FeedKind::apps));
  EXPECT_FALSE(decoded->only.has(FeedKind::status));

  EXPECT_FALSE(decodeSubscription(R"({"getVolume":{}})"));
  EXPECT_FALSE(decodeSubscription(R"({"applyProfile":{"name":"\"subscribe\""}})"));
  EXPECT_THROW(decodeSubscription(R"({"subscribe":{"only":["volume"]}})"), json::DecodingError);
  EXPECT_THROW(decodeSubscription(R"({"subscribe":{"only":"status"}})"), json::DecodingError);
  // Beside a request it is neither; following nothing is no subscription.
  EXPECT_THROW(decodeSubscription(R"({"subscribe":{},"getStatus":{}})"), json::DecodingError);
  EXPECT_THROW(decodeSubscription(R"({"subscribe":{"only":[]}})"), json::DecodingError);
}

TEST(FeedTest, ClientsIgnoreUnknownEventsAndRejectMalformedOnes) {
  FeedState state = before();
  EXPECT_FALSE(applyFeedEvent(state, json::parse(R"({"event":"lyrics","line":"la"})")));
  EXPECT_THROW(applyFeedEvent(state, json::parse(R"({"event":"device","device":{"uid":1}})")),
               json::DecodingError);
  EXPECT_THROW(applyFeedEvent(state, json::parse(R"({"status":{}})")), json::DecodingError);
  EXPECT_EQ(kindOfEvent("app-removed"), FeedKind::apps);
  EXPECT_EQ(kindOfEvent("snapshot"), std::nullopt);
}

}  // namespace
}  // namespace kestrune
