#include "sim/SimulatedState.h"

#include <algorithm>
#include <chrono>
#include <type_traits>
#include <utility>
#include <variant>

#include "eq/Presets.h"
#include "protocol/Text.h"
#include "server/FeedParts.h"
#include "sim/SimError.h"
#include "sim/StateFile.h"
#include "sim/StateQueries.h"

namespace kestrune::sim {

namespace {

// One press of the volume keys: 1/16 of the range.
constexpr double volumeStep = 6.25;
constexpr int maxAppVolume = 200;

using Data = CLIResponseData;

CLIResponse answer(CLIResponseData::Case data, std::optional<std::string> message = std::nullopt) {
  return CLIResponse{true, CLIResponseData{std::move(data)}, std::nullopt, std::move(message)};
}

CLIResponse note(std::string message) {
  return CLIResponse{true, std::nullopt, std::nullopt, std::move(message)};
}

CLIResponse failure(std::string error) {
  return CLIResponse{false, std::nullopt, std::move(error), std::nullopt};
}

void requireVolume(double percent, int maximum) {
  if (!(percent >= 0 && percent <= maximum)) {
    throw RequestFailure("Volume must be between 0 and " + std::to_string(maximum) + ".");
  }
}

// Requests that only read; everything else may change the state.
template <class T>
constexpr bool readsOnly =
    std::is_same_v<T, CLICommand::GetVolume> || std::is_same_v<T, CLICommand::GetMuteState> ||
    std::is_same_v<T, CLICommand::GetSilentMode> || std::is_same_v<T, CLICommand::ListDevices> ||
    std::is_same_v<T, CLICommand::GetCurrentDevice> || std::is_same_v<T, CLICommand::ListApps> ||
    std::is_same_v<T, CLICommand::GetAppVolume> || std::is_same_v<T, CLICommand::GetAppEQ> ||
    std::is_same_v<T, CLICommand::GetAppDevice> || std::is_same_v<T, CLICommand::ListProfiles> ||
    std::is_same_v<T, CLICommand::GetMediaVolume> || std::is_same_v<T, CLICommand::GetMediaInfo> ||
    std::is_same_v<T, CLICommand::ListBluetooth> || std::is_same_v<T, CLICommand::GetStatus> ||
    std::is_same_v<T, CLICommand::GetVersion> || std::is_same_v<T, CLICommand::ListEQPresets>;

// Answers each request from a state it may change. Failures are thrown as
// RequestFailure.
class Requests {
 public:
  Requests(StateModel& state, ShuffleRandom& random) : state_(state), random_(random) {}

  // System output volume, microphone mute, silent mode.

  CLIResponse operator()(const CLICommand::GetVolume&) {
    return answer(Data::Volume{requireDefaultDevice(state_, AudioDirection::output).volume});
  }
  CLIResponse operator()(const CLICommand::SetVolume& request) {
    requireVolume(request.percent, 100);
    SimDevice& output = requireDefaultDevice(state_, AudioDirection::output);
    output.volume = request.percent;
    return answer(Data::Volume{output.volume});
  }
  CLIResponse operator()(const CLICommand::StepVolume& request) {
    SimDevice& output = requireDefaultDevice(state_, AudioDirection::output);
    const double step = request.direction == VolumeDirection::up ? volumeStep : -volumeStep;
    output.volume = std::clamp(output.volume + step, 0.0, 100.0);
    return answer(Data::Volume{output.volume});
  }
  CLIResponse operator()(const CLICommand::GetMuteState&) {
    return answer(Data::Muted{requireDefaultDevice(state_, AudioDirection::input).muted});
  }
  CLIResponse operator()(const CLICommand::SetMute& request) {
    SimDevice& input = requireDefaultDevice(state_, AudioDirection::input);
    input.muted = applyMute(input.muted, request.action);
    return answer(Data::Muted{input.muted});
  }
  CLIResponse operator()(const CLICommand::SetOutputMute& request) {
    SimDevice& output = request.uid ? requireDevice(state_, *request.uid, AudioDirection::output)
                                    : requireDefaultDevice(state_, AudioDirection::output);
    output.muted = applyMute(output.muted, request.action);
    return answer(Data::Muted{output.muted});
  }
  CLIResponse operator()(const CLICommand::GetSilentMode&) {
    return answer(Data::SilentMode{state_.silentMode});
  }
  CLIResponse operator()(const CLICommand::ToggleSilentMode&) {
    state_.silentMode = !state_.silentMode;
    return answer(Data::SilentMode{state_.silentMode});
  }

  // Devices.

  CLIResponse operator()(const CLICommand::ListDevices& request) {
    std::vector<CLIDeviceInfo> devices;
    for (const auto& device : state_.devices) {
      if (!request.direction || hasDirection(device, *request.direction)) {
        devices.push_back(deviceInfo(state_, device, request.direction));
      }
    }
    return answer(Data::Devices{std::move(devices)});
  }
  CLIResponse operator()(const CLICommand::GetCurrentDevice& request) {
    const SimDevice& device = requireDefaultDevice(state_, request.direction);
    return answer(Data::Device{deviceInfo(state_, device, request.direction)});
  }
  CLIResponse operator()(const CLICommand::SetDevice& request) {
    const SimDevice& device = requireDevice(state_, request.uid, request.direction);
    defaultUID(request.direction) = device.uid;
    return answer(Data::Device{deviceInfo(state_, device, request.direction)});
  }
  CLIResponse operator()(const CLICommand::CycleDevice& request) {
    std::vector<const SimDevice*> candidates;
    for (const auto& device : state_.devices) {
      if (hasDirection(device, request.direction)) {
        candidates.push_back(&device);
      }
    }
    if (candidates.empty()) {
      throw RequestFailure("There are no " + std::string(directionName(request.direction)) +
                           " devices.");
    }
    std::string& current = defaultUID(request.direction);
    auto at = std::find_if(candidates.begin(), candidates.end(),
                           [&](const SimDevice* device) { return device->uid == current; });
    const SimDevice* next =
        (at == candidates.end() || at + 1 == candidates.end()) ? candidates.front() : *(at + 1);
    current = next->uid;
    return answer(Data::Device{deviceInfo(state_, *next, request.direction)});
  }

  // Apps.

  CLIResponse operator()(const CLICommand::ListApps&) { return answer(Data::Apps{allApps()}); }
  CLIResponse operator()(const CLICommand::GetAppVolume& request) {
    return answer(Data::Volume{requireApp(state_, request.appID).volume});
  }
  CLIResponse operator()(const CLICommand::SetAppVolume& request) {
    requireVolume(request.percent, maxAppVolume);
    SimApp& app = requireApp(state_, request.appID);
    app.volume = request.percent;
    return answer(Data::App{appInfo(state_, app)});
  }
  CLIResponse operator()(const CLICommand::SetAppMute& request) {
    SimApp& app = requireApp(state_, request.appID);
    app.muted = applyMute(app.muted, request.action);
    return answer(Data::App{appInfo(state_, app)});
  }
  CLIResponse operator()(const CLICommand::SoloApp& request) {
    const SimApp& soloed = requireApp(state_, request.appID);
    for (auto& app : state_.apps) {
      app.muted = &app != &soloed;
    }
    return answer(Data::Apps{allApps()}, "Soloed " + soloed.name + "; other apps muted.");
  }
  CLIResponse operator()(const CLICommand::GetAppEQ& request) {
    return answer(Data::Eq{eq::builtInCatalog().info(requireApp(state_, request.appID).eqPreset)});
  }
  CLIResponse operator()(const CLICommand::ListEQPresets&) {
    std::vector<EQPresetInfo> list;
    for (const eq::Preset& preset : eq::builtInCatalog().presets()) {
      list.push_back({preset.name, false});
    }
    return answer(Data::EqPresets{std::move(list)});
  }
  CLIResponse operator()(const CLICommand::SetAppEQ& request) {
    const eq::PresetCatalog& presets = eq::builtInCatalog();
    SimApp& app = requireApp(state_, request.appID);
    if (equalsIgnoringCase(request.preset, "off")) {
      app.eqPreset.reset();
      return answer(Data::Eq{presets.info(app.eqPreset)});
    }
    const eq::Preset* preset = presets.find(request.preset);
    if (preset == nullptr) {
      throw RequestFailure(presets.unknownPresetMessage(request.preset));
    }
    app.eqPreset = preset->name;
    return answer(Data::Eq{presets.info(app.eqPreset)});
  }
  CLIResponse operator()(const CLICommand::GetAppDevice& request) {
    const SimApp& app = requireApp(state_, request.appID);
    if (app.deviceUID) {
      if (const SimDevice* device = findDeviceByUID(state_, *app.deviceUID)) {
        return answer(Data::Device{deviceInfo(state_, *device, AudioDirection::output)});
      }
    }
    const SimDevice& output = requireDefaultDevice(state_, AudioDirection::output);
    return answer(Data::Device{deviceInfo(state_, output, AudioDirection::output)},
                  app.name + " follows the default output device.");
  }
  CLIResponse operator()(const CLICommand::SetAppDevice& request) {
    SimApp& app = requireApp(state_, request.appID);
    if (equalsIgnoringCase(request.deviceUID, "default")) {
      app.deviceUID.reset();
      return answer(Data::App{appInfo(state_, app)},
                    app.name + " now follows the default output device.");
    }
    app.deviceUID = requireDevice(state_, request.deviceUID, AudioDirection::output).uid;
    return answer(Data::App{appInfo(state_, app)});
  }

  // Profiles.

  CLIResponse operator()(const CLICommand::ListProfiles&) {
    std::vector<CLIProfileInfo> profiles;
    for (const auto& profile : state_.profiles) {
      profiles.push_back(
          {profile.id, profile.name, static_cast<std::int64_t>(profile.entries.size())});
    }
    return answer(Data::Profiles{std::move(profiles)});
  }
  CLIResponse operator()(const CLICommand::ApplyProfile& request) {
    const SimProfile& profile = requireProfile(state_, request.name);
    std::vector<std::string> notRunning;
    for (const auto& entry : profile.entries) {
      SimApp* app = findApp(state_, entry.app);
      if (app == nullptr) {
        notRunning.push_back(entry.app);
        continue;
      }
      app->volume = std::clamp(entry.volume, 0.0, double{maxAppVolume});
      app->muted = entry.muted;
      app->deviceUID = entry.deviceUID;
    }
    std::string message = "Applied profile " + quoted(profile.name) + ".";
    if (!notRunning.empty()) {
      message += " Not running: " + joined(notRunning) + ".";
    }
    return answer(Data::Apps{allApps()}, std::move(message));
  }

  // Media.

  CLIResponse operator()(const CLICommand::MediaPlayPause&) {
    requireQueue();
    togglePlayPause(state_.media);
    return nowPlaying();
  }
  CLIResponse operator()(const CLICommand::MediaNext&) {
    requireQueue();
    skipToNext(state_.media, random_);
    return nowPlaying();
  }
  CLIResponse operator()(const CLICommand::MediaPrevious&) {
    requireQueue();
    skipToPrevious(state_.media);
    return nowPlaying();
  }
  CLIResponse operator()(const CLICommand::MediaForward& request) {
    requireQueue();
    seek(state_.media, request.seconds, random_);
    return nowPlaying();
  }
  CLIResponse operator()(const CLICommand::MediaBackward& request) {
    requireQueue();
    seek(state_.media, -request.seconds, random_);
    return nowPlaying();
  }
  CLIResponse operator()(const CLICommand::MediaShuffle&) {
    requireQueue();
    toggleShuffle(state_.media);
    return note(std::string("Shuffle: ") + (state_.media.shuffle ? "on" : "off"));
  }
  CLIResponse operator()(const CLICommand::MediaRepeat&) {
    requireQueue();
    cycleRepeat(state_.media);
    return note(std::string("Repeat: ") + repeatModeName(state_.media.repeat));
  }
  CLIResponse operator()(const CLICommand::GetMediaVolume&) {
    return answer(Data::Volume{state_.media.volume});
  }
  CLIResponse operator()(const CLICommand::SetMediaVolume& request) {
    requireVolume(request.percent, 100);
    state_.media.volume = request.percent;
    return answer(Data::Volume{state_.media.volume});
  }
  CLIResponse operator()(const CLICommand::GetMediaInfo&) { return nowPlaying(); }

  // Bluetooth, panel, status, version.

  CLIResponse operator()(const CLICommand::ListBluetooth&) {
    std::vector<CLIBluetoothInfo> devices;
    for (const auto& device : state_.bluetooth) {
      if (device.connected) {
        devices.push_back({device.name, device.batteryLevel, device.connected});
      }
    }
    return answer(Data::Bluetooth{std::move(devices)});
  }
  CLIResponse operator()(const CLICommand::TogglePanel&) {
    state_.panelOpen = !state_.panelOpen;
    return note(state_.panelOpen ? "Menu panel opened." : "Menu panel closed.");
  }
  CLIResponse operator()(const CLICommand::GetStatus&) {
    return answer(Data::Status{statusInfo(state_)});
  }
  CLIResponse operator()(const CLICommand::GetVersion&) {
    return answer(Data::Version{versionInfo()});
  }

 private:
  std::string& defaultUID(AudioDirection direction) {
    return direction == AudioDirection::input ? state_.defaultInputUID : state_.defaultOutputUID;
  }

  std::vector<CLIAppInfo> allApps() const {
    std::vector<CLIAppInfo> apps;
    for (const auto& app : state_.apps) {
      apps.push_back(appInfo(state_, app));
    }
    return apps;
  }

  void requireQueue() const {
    if (state_.media.queue.empty()) {
      throw RequestFailure("Nothing is playing: " + state_.media.player + " has no tracks queued.");
    }
  }

  CLIResponse nowPlaying() const { return answer(Data::MediaInfo{mediaInfo(state_.media)}); }

  StateModel& state_;
  ShuffleRandom& random_;
};

CLIResponse answerFrom(StateModel& state, ShuffleRandom& random, const CLICommand& command) {
  try {
    return std::visit(Requests(state, random), command.value);
  } catch (const RequestFailure& failed) {
    return failure(failed.what());
  }
}

double steadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

SimulatedState::SimulatedState(StateModel initial)
    : SimulatedState(std::move(initial), Options{}) {}

SimulatedState::SimulatedState(StateModel initial, Options options)
    : model_(std::move(initial)), options_(std::move(options)) {
  if (!options_.clock) {
    options_.clock = steadySeconds;
  }
  lastTick_ = options_.clock();
  publishChanges();
}

// Subscribers see what the one-shot answers would say.
void SimulatedState::publishChanges() {
  if (options_.feed == nullptr) {
    return;
  }
  const server::Ask ask = [this](const CLICommand& request) {
    return answerFrom(model_, random_, request);
  };
  FeedState state;
  server::readAudioPart(state, ask, CLIStatusInfo{});
  server::readMediaPart(state, ask);
  server::readBluetoothPart(state, ask);
  options_.feed->publish(std::move(state));
}

void SimulatedState::catchUpWithClock() {
  const double now = options_.clock();
  advance(model_.media, now - lastTick_, random_);
  lastTick_ = now;
}

CLIResponse SimulatedState::handle(const CLICommand& command) {
  std::lock_guard lock(mutex_);
  catchUpWithClock();
  const bool readOnly =
      std::visit([](const auto& request) { return readsOnly<std::decay_t<decltype(request)>>; },
                 command.value);
  if (readOnly) {
    return answerFrom(model_, random_, command);
  }
  // Changes are made on a copy and kept only once saved, so that a state
  // file that cannot be written never disagrees with what was answered.
  StateModel next = model_;
  CLIResponse response = answerFrom(next, random_, command);
  if (!response.success) {
    return response;
  }
  if (options_.stateFile) {
    try {
      writeStateFile(*options_.stateFile, next);
    } catch (const SimError& error) {
      return failure("The change was not made: " + error.description());
    }
  }
  model_ = std::move(next);
  publishChanges();
  return response;
}

StateModel SimulatedState::snapshot() {
  std::lock_guard lock(mutex_);
  catchUpWithClock();
  return model_;
}

}  // namespace kestrune::sim
