#include "sim/StateFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "eq/Presets.h"
#include "json/Decoder.h"
#include "platform/Files.h"
#include "sim/MediaPlayer.h"
#include "sim/SimError.h"

namespace kestrune::sim {

namespace {

using json::KeyedDecoder;
using json::ObjectBuilder;
using json::Value;

template <class T, class Encode>
Value arrayOf(const std::vector<T>& items, Encode encode) {
  json::Array array;
  array.reserve(items.size());
  for (const auto& item : items) {
    array.push_back(encode(item));
  }
  return Value(std::move(array));
}

Value deviceToJSON(const SimDevice& device) {
  return ObjectBuilder()
      .add("uid", device.uid)
      .add("name", device.name)
      .add("transportType", device.transportType)
      .add("hasInput", device.hasInput)
      .add("hasOutput", device.hasOutput)
      .add("sampleRate", device.sampleRate)
      .add("volume", device.volume)
      .add("muted", device.muted)
      .build();
}

Value appToJSON(const SimApp& app) {
  return ObjectBuilder()
      .add("id", app.id)
      .add("name", app.name)
      .addIfPresent("bundleID", app.bundleID)
      .add("volume", app.volume)
      .add("muted", app.muted)
      .addIfPresent("deviceUID", app.deviceUID)
      .addIfPresent("eqPreset", app.eqPreset)
      .add("balance", app.balance)
      .build();
}

Value profileToJSON(const SimProfile& profile) {
  return ObjectBuilder()
      .add("id", profile.id)
      .add("name", profile.name)
      .add("entries", arrayOf(profile.entries,
                              [](const ProfileEntry& entry) {
                                return ObjectBuilder()
                                    .add("app", entry.app)
                                    .add("volume", entry.volume)
                                    .add("muted", entry.muted)
                                    .addIfPresent("deviceUID", entry.deviceUID)
                                    .build();
                              }))
      .build();
}

Value mediaToJSON(const SimMedia& media) {
  return ObjectBuilder()
      .add("player", media.player)
      .add("queue", arrayOf(media.queue,
                            [](const SimTrack& track) {
                              return ObjectBuilder()
                                  .add("title", track.title)
                                  .add("artist", track.artist)
                                  .add("album", track.album)
                                  .add("duration", track.duration)
                                  .build();
                            }))
      .add("current", static_cast<std::int64_t>(media.current))
      .add("playing", media.playing)
      .add("position", media.position)
      .add("shuffle", media.shuffle)
      .add("repeat", repeatModeName(media.repeat))
      .add("volume", media.volume)
      .build();
}

Value bluetoothToJSON(const SimBluetoothDevice& device) {
  return ObjectBuilder()
      .add("name", device.name)
      .addIfPresent("batteryLevel", device.batteryLevel)
      .add("connected", device.connected)
      .build();
}

// Reading, with the checks that keep the simulation sound.

double decodeInRange(const KeyedDecoder& object, std::string_view key, double low, double high) {
  const double value = object.decode<double>(key);
  if (!(value >= low && value <= high)) {
    throw object.member(key).dataCorrupted("Expected a number from " + json::numberText(low) +
                                           " to " + json::numberText(high));
  }
  return value;
}

SimDevice decodeDevice(const KeyedDecoder& object) {
  SimDevice device;
  device.uid = object.decode<std::string>("uid");
  device.name = object.decode<std::string>("name");
  device.transportType = object.decode<std::string>("transportType");
  device.hasInput = object.decode<bool>("hasInput");
  device.hasOutput = object.decode<bool>("hasOutput");
  device.sampleRate = decodeInRange(object, "sampleRate", 1, 1e7);
  device.volume = decodeInRange(object, "volume", 0, 100);
  device.muted = object.decode<bool>("muted");
  return device;
}

SimApp decodeApp(const KeyedDecoder& object) {
  SimApp app;
  app.id = object.decode<std::string>("id");
  app.name = object.decode<std::string>("name");
  app.bundleID = object.decodeIfPresent<std::string>("bundleID");
  app.volume = decodeInRange(object, "volume", 0, 200);
  app.muted = object.decode<bool>("muted");
  app.deviceUID = object.decodeIfPresent<std::string>("deviceUID");
  app.eqPreset = object.decodeIfPresent<std::string>("eqPreset");
  if (app.eqPreset && eq::builtInCatalog().find(*app.eqPreset) == nullptr) {
    throw object.member("eqPreset")
        .dataCorrupted("Unknown EQ preset; available: " + eq::builtInCatalog().names());
  }
  app.balance = decodeInRange(object, "balance", -100, 100);
  return app;
}

ProfileEntry decodeProfileEntry(const KeyedDecoder& object) {
  return ProfileEntry{object.decode<std::string>("app"), decodeInRange(object, "volume", 0, 200),
                      object.decode<bool>("muted"),
                      object.decodeIfPresent<std::string>("deviceUID")};
}

SimProfile decodeProfile(const KeyedDecoder& object) {
  SimProfile profile{object.decode<std::string>("id"), object.decode<std::string>("name"), {}};
  const auto entries = object.nestedArray("entries");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    profile.entries.push_back(decodeProfileEntry(entries.nested(i)));
  }
  return profile;
}

SimTrack decodeTrack(const KeyedDecoder& object) {
  return SimTrack{object.decode<std::string>("title"), object.decode<std::string>("artist"),
                  object.decode<std::string>("album"), decodeInRange(object, "duration", 1, 86400)};
}

RepeatMode decodeRepeat(const KeyedDecoder& object) {
  const std::string text = object.decode<std::string>("repeat");
  for (const RepeatMode mode : {RepeatMode::off, RepeatMode::all, RepeatMode::one}) {
    if (text == repeatModeName(mode)) {
      return mode;
    }
  }
  throw object.member("repeat").dataCorrupted("Expected \"off\", \"all\" or \"one\"");
}

SimMedia decodeMedia(const KeyedDecoder& object) {
  SimMedia media;
  media.player = object.decode<std::string>("player");
  const auto queue = object.nestedArray("queue");
  for (std::size_t i = 0; i < queue.size(); ++i) {
    media.queue.push_back(decodeTrack(queue.nested(i)));
  }
  const std::int64_t current = object.decode<std::int64_t>("current");
  if (current < 0 ||
      (!media.queue.empty() && static_cast<std::size_t>(current) >= media.queue.size())) {
    throw object.member("current").dataCorrupted("Expected the index of a track in the queue");
  }
  media.current = static_cast<std::size_t>(current);
  media.playing = object.decode<bool>("playing");
  const double duration = media.queue.empty() ? 0 : media.queue[media.current].duration;
  media.position = decodeInRange(object, "position", 0, duration);
  media.shuffle = object.decode<bool>("shuffle");
  media.repeat = decodeRepeat(object);
  media.volume = decodeInRange(object, "volume", 0, 100);
  return media;
}

SimBluetoothDevice decodeBluetooth(const KeyedDecoder& object) {
  SimBluetoothDevice device{object.decode<std::string>("name"), std::nullopt,
                            object.decode<bool>("connected")};
  device.batteryLevel = object.decodeIfPresent<std::int64_t>("batteryLevel");
  if (device.batteryLevel && (*device.batteryLevel < 0 || *device.batteryLevel > 100)) {
    throw object.member("batteryLevel").dataCorrupted("Expected a number from 0 to 100");
  }
  return device;
}

template <class T, class Decode>
std::vector<T> decodeEach(const KeyedDecoder& object, std::string_view key, Decode decode) {
  std::vector<T> items;
  const auto array = object.nestedArray(key);
  for (std::size_t i = 0; i < array.size(); ++i) {
    items.push_back(decode(array.nested(i)));
  }
  return items;
}

// A device UID the state refers to must name a device with that direction.
void requireDeviceReference(const KeyedDecoder& object, std::string_view key,
                            const std::vector<SimDevice>& devices, bool output) {
  const std::string uid = object.decode<std::string>(key);
  for (const auto& device : devices) {
    if (device.uid == uid && (output ? device.hasOutput : device.hasInput)) {
      return;
    }
  }
  throw object.member(key).dataCorrupted(std::string("No ") + (output ? "output" : "input") +
                                         " device has the UID \"" + uid + "\"");
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw SimError(SimError::Kind::stateFile,
                   "Could not read the state file \"" + path + "\": " + std::strerror(errno));
  }
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) {
    throw SimError(SimError::Kind::stateFile, "Could not read the state file \"" + path + "\"");
  }
  return contents.str();
}

}  // namespace

json::Value stateToJSON(const StateModel& state) {
  return ObjectBuilder()
      .add("format", stateFileFormat)
      .add("devices", arrayOf(state.devices, deviceToJSON))
      .add("defaultOutputUID", state.defaultOutputUID)
      .add("defaultInputUID", state.defaultInputUID)
      .add("silentMode", state.silentMode)
      .add("apps", arrayOf(state.apps, appToJSON))
      .add("profiles", arrayOf(state.profiles, profileToJSON))
      .add("media", mediaToJSON(state.media))
      .add("bluetooth", arrayOf(state.bluetooth, bluetoothToJSON))
      .add("panelOpen", state.panelOpen)
      .add("cliInstalled", state.cliInstalled)
      .build();
}

StateModel stateFromJSON(const json::Value& value) {
  const KeyedDecoder top = json::Decoder(value).keyed("StateModel");
  if (top.decode<std::int64_t>("format") != stateFileFormat) {
    throw top.member("format").dataCorrupted("Unsupported state file format (expected " +
                                             std::to_string(stateFileFormat) + ")");
  }
  StateModel state;
  state.devices = decodeEach<SimDevice>(top, "devices", decodeDevice);
  requireDeviceReference(top, "defaultOutputUID", state.devices, true);
  requireDeviceReference(top, "defaultInputUID", state.devices, false);
  state.defaultOutputUID = top.decode<std::string>("defaultOutputUID");
  state.defaultInputUID = top.decode<std::string>("defaultInputUID");
  state.silentMode = top.decode<bool>("silentMode");
  state.apps = decodeEach<SimApp>(top, "apps", decodeApp);
  const auto apps = top.nestedArray("apps");
  for (std::size_t i = 0; i < state.apps.size(); ++i) {
    if (state.apps[i].deviceUID) {
      requireDeviceReference(apps.nested(i), "deviceUID", state.devices, true);
    }
  }
  state.profiles = decodeEach<SimProfile>(top, "profiles", decodeProfile);
  const auto profiles = top.nestedArray("profiles");
  for (std::size_t i = 0; i < state.profiles.size(); ++i) {
    const auto entries = profiles.nested(i).nestedArray("entries");
    for (std::size_t j = 0; j < state.profiles[i].entries.size(); ++j) {
      if (state.profiles[i].entries[j].deviceUID) {
        requireDeviceReference(entries.nested(j), "deviceUID", state.devices, true);
      }
    }
  }
  state.media = decodeMedia(top.nested("media"));
  state.bluetooth = decodeEach<SimBluetoothDevice>(top, "bluetooth", decodeBluetooth);
  state.panelOpen = top.decode<bool>("panelOpen");
  state.cliInstalled = top.decode<bool>("cliInstalled");
  return state;
}

std::optional<StateModel> readStateFile(const std::string& path) {
  if (!platform::pathExists(path)) {
    return std::nullopt;
  }
  const std::string text = readWholeFile(path);
  try {
    return stateFromJSON(json::parse(text));
  } catch (const json::ParseError& error) {
    throw SimError(SimError::Kind::stateFile,
                   "The state file \"" + path + "\" is not valid JSON: " + error.description());
  } catch (const json::DecodingError& error) {
    throw SimError(SimError::Kind::stateFile,
                   "The state file \"" + path + "\" is not usable: " + error.description());
  }
}

void writeStateFile(const std::string& path, const StateModel& state) {
  try {
    platform::writeFileAtomically(path, json::writePretty(stateToJSON(state)) + "\n");
  } catch (const platform::FileError& error) {
    throw SimError(SimError::Kind::stateFile, error.what());
  } catch (const json::EncodingError& error) {
    throw SimError(SimError::Kind::stateFile,
                   "Could not save the state to \"" + path + "\": " + error.description());
  }
}

}  // namespace kestrune::sim
