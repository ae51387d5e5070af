#include "protocol/Feed.h"

#include <array>
#include <utility>

#include "json/Errors.h"

namespace kestrune {

namespace {

constexpr std::array<std::string_view, feedKindCount> kindNames = {"status", "devices", "apps",
                                                                   "media", "bluetooth"};

constexpr std::array<FeedKind, feedKindCount> everyKind = {
    FeedKind::status, FeedKind::devices, FeedKind::apps, FeedKind::media, FeedKind::bluetooth};

json::Value mediaJSON(const std::optional<CLIMediaInfo>& media) {
  if (!media) {
    return json::Value();
  }
  // The position changes all the time; the feed does not tick.
  CLIMediaInfo still = *media;
  still.position.reset();
  return toJSON(still);
}

template <class Record>
json::Value arrayJSON(const std::vector<Record>& records) {
  json::Array array;
  array.reserve(records.size());
  for (const Record& record : records) {
    array.push_back(toJSON(record));
  }
  return json::Value(std::move(array));
}

json::Object event(std::string_view name) {
  json::Object object;
  object.set("event", json::Value(name));
  return object;
}

void addReason(json::Object& object, const std::optional<std::string>& reason) {
  if (reason) {
    object.set("unavailable", json::Value(*reason));
  }
}

FeedEvent statusEvent(const FeedState& state) {
  json::Object object = event("status");
  object.set("status", toJSON(state.status));
  addReason(object, state.statusUnavailable);
  return {FeedKind::status, json::Value(std::move(object))};
}

FeedEvent mediaEvent(const FeedState& state) {
  json::Object object = event("media");
  object.set("media", mediaJSON(state.media));
  if (state.media && state.mediaArtUrl) {
    object.set("artUrl", json::Value(*state.mediaArtUrl));
  }
  addReason(object, state.mediaUnavailable);
  return {FeedKind::media, json::Value(std::move(object))};
}

FeedEvent bluetoothEvent(const FeedState& state) {
  json::Object object = event("bluetooth");
  object.set("bluetooth", arrayJSON(state.bluetooth));
  addReason(object, state.bluetoothUnavailable);
  return {FeedKind::bluetooth, json::Value(std::move(object))};
}

const std::string* iconOf(const FeedState& state, const std::string& appID) {
  const auto found = state.appIcons.find(appID);
  return found == state.appIcons.end() ? nullptr : &found->second;
}

FeedEvent appEvent(const FeedState& state, const CLIAppInfo& app) {
  json::Object object = event("app");
  object.set("app", toJSON(app));
  if (const std::string* icon = iconOf(state, app.id)) {
    object.set("icon", json::Value(*icon));
  }
  return {FeedKind::apps, json::Value(std::move(object))};
}

FeedEvent removal(FeedKind kind, std::string_view name, std::string_view key,
                  const std::string& identity) {
  json::Object object = event(name);
  object.set(std::string(key), json::Value(identity));
  return {kind, json::Value(std::move(object))};
}

template <class Record>
const Record* findByIdentity(const std::vector<Record>& records, const std::string& identity,
                             std::string Record::*key) {
  for (const Record& record : records) {
    if (record.*key == identity) {
      return &record;
    }
  }
  return nullptr;
}

void deviceChanges(const FeedState& before, const FeedState& after,
                   std::vector<FeedEvent>& events) {
  for (const CLIDeviceInfo& device : after.devices) {
    const CLIDeviceInfo* old = findByIdentity(before.devices, device.uid, &CLIDeviceInfo::uid);
    if (old == nullptr || toJSON(*old) != toJSON(device)) {
      json::Object object = event("device");
      object.set("device", toJSON(device));
      events.push_back({FeedKind::devices, json::Value(std::move(object))});
    }
  }
  for (const CLIDeviceInfo& device : before.devices) {
    if (findByIdentity(after.devices, device.uid, &CLIDeviceInfo::uid) == nullptr) {
      events.push_back(removal(FeedKind::devices, "device-removed", "uid", device.uid));
    }
  }
}

bool sameIcon(const FeedState& before, const FeedState& after, const std::string& appID) {
  const std::string* a = iconOf(before, appID);
  const std::string* b = iconOf(after, appID);
  return (a == nullptr) == (b == nullptr) && (a == nullptr || *a == *b);
}

void appChanges(const FeedState& before, const FeedState& after, std::vector<FeedEvent>& events) {
  for (const CLIAppInfo& app : after.apps) {
    const CLIAppInfo* old = findByIdentity(before.apps, app.id, &CLIAppInfo::id);
    if (old == nullptr || toJSON(*old) != toJSON(app) || !sameIcon(before, after, app.id)) {
      events.push_back(appEvent(after, app));
    }
  }
  for (const CLIAppInfo& app : before.apps) {
    if (findByIdentity(after.apps, app.id, &CLIAppInfo::id) == nullptr) {
      events.push_back(removal(FeedKind::apps, "app-removed", "id", app.id));
    }
  }
}

// Decoding, for clients.

std::string requiredString(const json::KeyedDecoder& object, std::string_view key) {
  return object.decode<std::string>(key);
}

std::optional<std::string> optionalString(const json::KeyedDecoder& object, std::string_view key) {
  return object.decodeIfPresent<std::string>(key);
}

template <class Record>
void upsert(std::vector<Record>& records, Record record, std::string Record::*key) {
  for (Record& existing : records) {
    if (existing.*key == record.*key) {
      existing = std::move(record);
      return;
    }
  }
  records.push_back(std::move(record));
}

template <class Record>
void eraseByIdentity(std::vector<Record>& records, const std::string& identity,
                     std::string Record::*key) {
  std::erase_if(records, [&](const Record& record) { return record.*key == identity; });
}

std::optional<CLIMediaInfo> decodeMedia(const json::KeyedDecoder& object) {
  const auto media = object.memberIfPresent("media");
  if (!media) {
    return std::nullopt;
  }
  return decodeRecord<CLIMediaInfo>(*media);
}

void applySnapshot(FeedState& state, const json::KeyedDecoder& object) {
  FeedState fresh;
  if (const auto status = object.memberIfPresent("status")) {
    fresh.status = decodeRecord<CLIStatusInfo>(*status);
  }
  if (const auto devices = object.memberIfPresent("devices")) {
    fresh.devices = decodeRecord<std::vector<CLIDeviceInfo>>(*devices);
  }
  if (const auto apps = object.memberIfPresent("apps")) {
    fresh.apps = decodeRecord<std::vector<CLIAppInfo>>(*apps);
  }
  fresh.media = decodeMedia(object);
  fresh.mediaArtUrl = optionalString(object, "artUrl");
  if (const auto bluetooth = object.memberIfPresent("bluetooth")) {
    fresh.bluetooth = decodeRecord<std::vector<CLIBluetoothInfo>>(*bluetooth);
  }
  if (object.contains("icons")) {
    const json::KeyedDecoder icons = object.nested("icons");
    for (const std::string_view app : icons.allKeys()) {
      fresh.appIcons.emplace(std::string(app), icons.decode<std::string>(app));
    }
  }
  if (object.contains("unavailable")) {
    const json::KeyedDecoder reasons = object.nested("unavailable");
    fresh.statusUnavailable = optionalString(reasons, "status");
    fresh.mediaUnavailable = optionalString(reasons, "media");
    fresh.bluetoothUnavailable = optionalString(reasons, "bluetooth");
  }
  state = std::move(fresh);
}

}  // namespace

std::string_view feedKindName(FeedKind kind) {
  return kindNames[static_cast<std::size_t>(kind)];
}

std::optional<FeedKind> feedKindNamed(std::string_view name) {
  for (const FeedKind kind : everyKind) {
    if (feedKindName(kind) == name) {
      return kind;
    }
  }
  return std::nullopt;
}

std::string encodeSubscription(const Subscription& subscription) {
  json::Object members;
  if (!subscription.only.isAll()) {
    json::Array only;
    for (const FeedKind kind : everyKind) {
      if (subscription.only.has(kind)) {
        only.emplace_back(feedKindName(kind));
      }
    }
    members.set("only", json::Value(std::move(only)));
  }
  json::Object request;
  request.set("subscribe", json::Value(std::move(members)));
  return json::writeCompact(json::Value(std::move(request)));
}

std::optional<Subscription> decodeSubscription(std::string_view body) {
  // A cheap look first: one-shot requests never start this way.
  if (body.find("\"subscribe\"") == std::string_view::npos) {
    return std::nullopt;
  }
  json::Value value;
  try {
    value = json::parse(body);
  } catch (const json::ParseError&) {
    return std::nullopt;  // the one-shot decoder says what is wrong with it
  }
  if (!value.isObject() || value.find("subscribe") == nullptr) {
    return std::nullopt;
  }
  const json::Decoder root(value);
  if (value.asObject().size() != 1) {
    // Refused like a request naming two: either reading leaves one unsaid.
    throw root.keyed("Subscription").typeMismatch("Invalid number of keys found, expected one.");
  }
  const json::KeyedDecoder members = root.keyed("Subscription").nested("subscribe");
  Subscription subscription;
  if (const auto only = members.memberIfPresent("only")) {
    subscription.only = FeedKinds::none();
    const json::UnkeyedDecoder names = only->unkeyed();
    if (names.size() == 0) {
      throw only->dataCorrupted(
          "An empty list follows nothing; name at least one kind, or leave out \"only\" to "
          "follow every kind");
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      const json::Decoder name = names.at(i);
      const auto kind = feedKindNamed(name.stringRef());
      if (!kind) {
        throw name.dataCorrupted("Unknown kind \"" + name.stringRef() +
                                 "\"; the kinds are status, devices, apps, media, bluetooth");
      }
      subscription.only.add(*kind);
    }
  }
  return subscription;
}

json::Value snapshotEvent(const FeedState& state, FeedKinds kinds) {
  json::Object object = event("snapshot");
  json::Object reasons;
  if (kinds.has(FeedKind::status)) {
    object.set("status", toJSON(state.status));
    if (state.statusUnavailable) {
      reasons.set("status", json::Value(*state.statusUnavailable));
    }
  }
  if (kinds.has(FeedKind::devices)) {
    object.set("devices", arrayJSON(state.devices));
  }
  if (kinds.has(FeedKind::apps)) {
    object.set("apps", arrayJSON(state.apps));
    if (!state.appIcons.empty()) {
      json::Object icons;
      for (const auto& [app, icon] : state.appIcons) {
        icons.set(app, json::Value(icon));
      }
      object.set("icons", json::Value(std::move(icons)));
    }
  }
  if (kinds.has(FeedKind::media)) {
    object.set("media", mediaJSON(state.media));
    if (state.media && state.mediaArtUrl) {
      object.set("artUrl", json::Value(*state.mediaArtUrl));
    }
    if (state.mediaUnavailable) {
      reasons.set("media", json::Value(*state.mediaUnavailable));
    }
  }
  if (kinds.has(FeedKind::bluetooth)) {
    object.set("bluetooth", arrayJSON(state.bluetooth));
    if (state.bluetoothUnavailable) {
      reasons.set("bluetooth", json::Value(*state.bluetoothUnavailable));
    }
  }
  if (!reasons.empty()) {
    object.set("unavailable", json::Value(std::move(reasons)));
  }
  return json::Value(std::move(object));
}

std::vector<FeedEvent> changesBetween(const FeedState& before, const FeedState& after) {
  std::vector<FeedEvent> events;
  deviceChanges(before, after, events);
  appChanges(before, after, events);
  if (toJSON(before.status) != toJSON(after.status) ||
      before.statusUnavailable != after.statusUnavailable) {
    events.push_back(statusEvent(after));
  }
  FeedEvent media = mediaEvent(after);
  if (media.body != mediaEvent(before).body) {
    events.push_back(std::move(media));
  }
  FeedEvent bluetooth = bluetoothEvent(after);
  if (bluetooth.body != bluetoothEvent(before).body) {
    events.push_back(std::move(bluetooth));
  }
  return events;
}

std::optional<FeedKind> kindOfEvent(std::string_view eventName) {
  if (eventName == "status") {
    return FeedKind::status;
  }
  if (eventName == "device" || eventName == "device-removed") {
    return FeedKind::devices;
  }
  if (eventName == "app" || eventName == "app-removed") {
    return FeedKind::apps;
  }
  if (eventName == "media") {
    return FeedKind::media;
  }
  if (eventName == "bluetooth") {
    return FeedKind::bluetooth;
  }
  return std::nullopt;
}

bool applyFeedEvent(FeedState& state, const json::Value& frame) {
  const json::Decoder root(frame);
  const json::KeyedDecoder object = root.keyed("FeedEvent");
  const std::string name = requiredString(object, "event");
  if (name == "snapshot") {
    applySnapshot(state, object);
  } else if (name == "status") {
    state.status = decodeRecord<CLIStatusInfo>(object.member("status"));
    state.statusUnavailable = optionalString(object, "unavailable");
  } else if (name == "device") {
    upsert(state.devices, decodeRecord<CLIDeviceInfo>(object.member("device")),
           &CLIDeviceInfo::uid);
  } else if (name == "device-removed") {
    eraseByIdentity(state.devices, requiredString(object, "uid"), &CLIDeviceInfo::uid);
  } else if (name == "app") {
    CLIAppInfo app = decodeRecord<CLIAppInfo>(object.member("app"));
    if (auto icon = optionalString(object, "icon")) {
      state.appIcons[app.id] = std::move(*icon);
    } else {
      state.appIcons.erase(app.id);
    }
    upsert(state.apps, std::move(app), &CLIAppInfo::id);
  } else if (name == "app-removed") {
    const std::string id = requiredString(object, "id");
    eraseByIdentity(state.apps, id, &CLIAppInfo::id);
    state.appIcons.erase(id);
  } else if (name == "media") {
    state.media = decodeMedia(object);
    state.mediaArtUrl = optionalString(object, "artUrl");
    state.mediaUnavailable = optionalString(object, "unavailable");
  } else if (name == "bluetooth") {
    state.bluetooth = decodeRecord<std::vector<CLIBluetoothInfo>>(object.member("bluetooth"));
    state.bluetoothUnavailable = optionalString(object, "unavailable");
  } else {
    return false;
  }
  return true;
}

}  // namespace kestrune
