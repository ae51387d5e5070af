#include "sim/StateQueries.h"

#include "protocol/Text.h"

namespace kestrune::sim {

namespace {

std::string appNames(const StateModel& state) {
  std::vector<std::string> names;
  for (const auto& app : state.apps) {
    names.push_back(app.name);
  }
  return joined(names);
}

std::string deviceList(const StateModel& state, std::optional<AudioDirection> direction) {
  std::vector<std::string> items;
  for (const auto& device : state.devices) {
    if (!direction || hasDirection(device, *direction)) {
      items.push_back(device.uid + " (" + device.name + ")");
    }
  }
  return joined(items);
}

std::string capitalized(std::string_view word) {
  std::string text(word);
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') {
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
  }
  return text;
}

}  // namespace

bool hasDirection(const SimDevice& device, AudioDirection direction) {
  return direction == AudioDirection::input ? device.hasInput : device.hasOutput;
}

std::string_view directionName(AudioDirection direction) {
  return direction == AudioDirection::input ? "input" : "output";
}

SimApp* findApp(StateModel& state, std::string_view appID) {
  for (auto& app : state.apps) {
    if (equalsIgnoringCase(app.name, appID) || app.id == appID ||
        (app.bundleID && equalsIgnoringCase(*app.bundleID, appID))) {
      return &app;
    }
  }
  return nullptr;
}

SimApp& requireApp(StateModel& state, std::string_view appID) {
  if (SimApp* app = findApp(state, appID)) {
    return *app;
  }
  if (state.apps.empty()) {
    throw RequestFailure("App not found: " + quoted(appID) + ". No apps are playing audio.");
  }
  throw RequestFailure("App not found: " + quoted(appID) + ". Running apps: " + appNames(state));
}

SimDevice* findDeviceByUID(StateModel& state, std::string_view uid) {
  for (auto& device : state.devices) {
    if (device.uid == uid) {
      return &device;
    }
  }
  return nullptr;
}

const SimDevice* findDeviceByUID(const StateModel& state, std::string_view uid) {
  for (const auto& device : state.devices) {
    if (device.uid == uid) {
      return &device;
    }
  }
  return nullptr;
}

SimDevice& requireDevice(StateModel& state, std::string_view uid,
                         std::optional<AudioDirection> direction) {
  SimDevice* found = findDeviceByUID(state, uid);
  for (auto& device : state.devices) {
    if (found == nullptr && equalsIgnoringCase(device.name, uid)) {
      found = &device;
    }
  }
  if (found == nullptr) {
    const std::string kind =
        direction ? capitalized(directionName(*direction)) + " devices" : std::string("Devices");
    throw RequestFailure("Device not found: " + quoted(uid) + ". " + kind + ": " +
                         deviceList(state, direction));
  }
  if (direction && !hasDirection(*found, *direction)) {
    throw RequestFailure(
        quoted(found->name) + " is not an " + std::string(directionName(*direction)) + " device. " +
        capitalized(directionName(*direction)) + " devices: " + deviceList(state, direction));
  }
  return *found;
}

const SimProfile& requireProfile(const StateModel& state, std::string_view name) {
  for (const auto& profile : state.profiles) {
    if (equalsIgnoringCase(profile.name, name) || profile.id == name) {
      return profile;
    }
  }
  if (state.profiles.empty()) {
    throw RequestFailure("Profile not found: " + quoted(name) + ". There are no saved profiles.");
  }
  std::vector<std::string> names;
  for (const auto& profile : state.profiles) {
    names.push_back(profile.name);
  }
  throw RequestFailure("Profile not found: " + quoted(name) + ". Saved profiles: " + joined(names));
}

const SimDevice* defaultDevice(const StateModel& state, AudioDirection direction) {
  const std::string& uid =
      direction == AudioDirection::input ? state.defaultInputUID : state.defaultOutputUID;
  return findDeviceByUID(state, uid);
}

SimDevice& requireDefaultDevice(StateModel& state, AudioDirection direction) {
  const std::string& uid =
      direction == AudioDirection::input ? state.defaultInputUID : state.defaultOutputUID;
  if (SimDevice* device = findDeviceByUID(state, uid)) {
    return *device;
  }
  throw RequestFailure("There is no default " + std::string(directionName(direction)) + " device.");
}

CLIDeviceInfo deviceInfo(const StateModel& state, const SimDevice& device,
                         std::optional<AudioDirection> direction) {
  const bool defaultOutput = device.uid == state.defaultOutputUID;
  const bool defaultInput = device.uid == state.defaultInputUID;
  bool isDefault = defaultOutput || defaultInput;
  if (direction) {
    isDefault = *direction == AudioDirection::input ? defaultInput : defaultOutput;
  }
  return CLIDeviceInfo{device.uid,       device.name,       device.hasInput,
                       device.hasOutput, isDefault,         device.volume,
                       device.muted,     device.sampleRate, device.transportType};
}

CLIAppInfo appInfo(const StateModel& state, const SimApp& app) {
  CLIAppInfo info;
  info.id = app.id;
  info.name = app.name;
  info.bundleID = app.bundleID;
  info.volume = app.volume;
  info.isMuted = app.muted;
  info.deviceUID = app.deviceUID;
  if (app.deviceUID) {
    if (const SimDevice* device = findDeviceByUID(state, *app.deviceUID)) {
      info.deviceName = device->name;
    }
  }
  info.eqPreset = app.eqPreset;
  info.balance = app.balance;
  return info;
}

CLIMediaInfo mediaInfo(const SimMedia& media) {
  CLIMediaInfo info;
  // Without a track nothing can be playing, whatever the flag says.
  info.isPlaying = media.playing && media.current < media.queue.size();
  info.volume = media.volume;
  if (media.current < media.queue.size()) {
    const SimTrack& track = media.queue[media.current];
    info.title = track.title;
    info.artist = track.artist;
    info.album = track.album;
    info.player = media.player;
    info.position = media.position;
    info.duration = track.duration;
  }
  return info;
}

CLIStatusInfo statusInfo(const StateModel& state) {
  CLIStatusInfo info;
  info.version = std::string(simulatedVersion);
  info.isRunning = true;
  if (const SimDevice* output = defaultDevice(state, AudioDirection::output)) {
    info.outputDevice = deviceInfo(state, *output, AudioDirection::output);
    info.outputVolume = output->volume;
  }
  if (const SimDevice* input = defaultDevice(state, AudioDirection::input)) {
    info.inputDevice = deviceInfo(state, *input, AudioDirection::input);
    info.isMuted = input->muted;
  }
  info.isSilentMode = state.silentMode;
  info.activeAppCount = static_cast<std::int64_t>(state.apps.size());
  info.cliInstalled = state.cliInstalled;
  return info;
}

CLIVersionInfo versionInfo() {
  return CLIVersionInfo{std::string(simulatedVersion), std::string(simulatedBuild),
                        std::string(simulatedVersion)};
}

}  // namespace kestrune::sim
