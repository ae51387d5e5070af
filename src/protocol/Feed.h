#pragma once
// The live feed: the subscription request, the state a subscriber follows,
// and its frames (a snapshot, then one event per change). Both ends use
// these: the servers to tell what changed, the clients to follow it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/Decoder.h"
#include "json/Value.h"
#include "protocol/CLIResponse.h"

namespace kestrune {

enum class FeedKind : std::uint8_t { status, devices, apps, media, bluetooth };

inline constexpr std::size_t feedKindCount = 5;

// "status", "devices", "apps", "media", "bluetooth".
std::string_view feedKindName(FeedKind kind);
std::optional<FeedKind> feedKindNamed(std::string_view name);

// A set of kinds; all of them unless narrowed.
class FeedKinds {
 public:
  static FeedKinds all() { return FeedKinds(allBits); }
  static FeedKinds none() { return FeedKinds(0); }

  bool has(FeedKind kind) const { return (bits_ & bit(kind)) != 0; }
  bool isAll() const { return bits_ == allBits; }
  void add(FeedKind kind) { bits_ |= bit(kind); }
  bool empty() const { return bits_ == 0; }

 private:
  static constexpr unsigned allBits = (1U << feedKindCount) - 1;
  explicit FeedKinds(unsigned bits) : bits_(bits) {}
  static unsigned bit(FeedKind kind) { return 1U << static_cast<unsigned>(kind); }
  unsigned bits_;
};

// What a subscriber sees. Each part may say why it is missing (the sound
// server, the session bus or BlueZ out of reach).
struct FeedState {
  CLIStatusInfo status;
  std::vector<CLIDeviceInfo> devices;
  std::vector<CLIAppInfo> apps;
  std::optional<CLIMediaInfo> media;
  std::vector<CLIBluetoothInfo> bluetooth;
  std::optional<std::string> statusUnavailable;
  std::optional<std::string> mediaUnavailable;
  std::optional<std::string> bluetoothUnavailable;
  // Beside the records, for graphical clients: an app's icon name (by app
  // id, from its streams) and the player's cover art ("file://..." or
  // "https://..."), each sent as a member of the event ("icon", "artUrl").
  std::map<std::string, std::string, std::less<>> appIcons;
  std::optional<std::string> mediaArtUrl;
};

// The subscription request: {"subscribe":{}} or {"subscribe":{"only":[...]}}.
struct Subscription {
  FeedKinds only = FeedKinds::all();
};

std::string encodeSubscription(const Subscription& subscription);
// The subscription in a request body, or nothing when the body is not one
// (it may be a one-shot request). Throws json::DecodingError when it is a
// subscription with bad members (an unknown kind).
std::optional<Subscription> decodeSubscription(std::string_view body);

// One frame of the feed, with what it is about.
struct FeedEvent {
  FeedKind kind;
  json::Value body;
};

json::Value snapshotEvent(const FeedState& state, FeedKinds kinds);
// What differs from `before` to `after`, in the order subscribers receive it:
// devices, apps, status, media, Bluetooth. Empty when nothing does.
std::vector<FeedEvent> changesBetween(const FeedState& before, const FeedState& after);

// The kind of an event's name ("device-removed" is devices); nothing for the
// snapshot and for names this version does not know.
std::optional<FeedKind> kindOfEvent(std::string_view eventName);

// The client's side: brings `state` up to date with one frame. Returns false
// for events this version does not know (ignored). Throws
// json::DecodingError when a known event is malformed.
bool applyFeedEvent(FeedState& state, const json::Value& event);

// The records, as the replies carry them.
json::Value toJSON(const CLIStatusInfo& status);
json::Value toJSON(const CLIDeviceInfo& device);
json::Value toJSON(const CLIAppInfo& app);
json::Value toJSON(const CLIMediaInfo& media);
json::Value toJSON(const CLIBluetoothInfo& device);
// A record (or an array of records) at a decoder's position; instantiated
// for the five records above and the arrays of devices, apps and Bluetooth
// devices. Throws json::DecodingError.
template <class Record>
Record decodeRecord(const json::Decoder& decoder);

}  // namespace kestrune
