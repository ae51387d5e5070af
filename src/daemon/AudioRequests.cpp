#include "daemon/AudioRequests.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>
#include <variant>

#include "daemon/Apps.h"
#include "daemon/Config.h"
#include "daemon/Devices.h"
#include "daemon/Equalizers.h"
#include "daemon/RequestFailure.h"
#include "protocol/Text.h"

namespace kestrune::daemon {

namespace {

// One press of `volume up`.
constexpr double volumeStep = 5;
constexpr double maxSystemVolume = 100;
constexpr double maxAppVolume = 200;

using C = CLICommand;
using Data = CLIResponseData;

CLIResponse answerWith(Data::Case data, std::optional<std::string> message = std::nullopt) {
  return CLIResponse{true, Data{std::move(data)}, std::nullopt, std::move(message)};
}

CLIResponse failure(std::string error) {
  return CLIResponse{false, std::nullopt, std::move(error), std::nullopt};
}

void requireVolume(double percent, double maximum) {
  if (!(percent >= 0 && percent <= maximum)) {
    throw RequestFailure("Volume must be between 0 and " +
                         std::to_string(static_cast<int>(maximum)) + ".");
  }
}

bool isInput(AudioDirection direction) {
  return direction == AudioDirection::input;
}

bool isEventSound(const Stream& stream) {
  return stream.property("media.role") == "event";
}

template <class T>
constexpr bool readsThePicture =
    std::is_same_v<T, C::GetVolume> || std::is_same_v<T, C::GetMuteState> ||
    std::is_same_v<T, C::GetSilentMode> || std::is_same_v<T, C::ListDevices> ||
    std::is_same_v<T, C::GetCurrentDevice> || std::is_same_v<T, C::ListApps> ||
    std::is_same_v<T, C::GetAppVolume> || std::is_same_v<T, C::GetAppDevice> ||
    std::is_same_v<T, C::GetStatus> || std::is_same_v<T, C::GetVersion>;

template <class T>
constexpr bool isAudioRequest =
    !std::is_same_v<T, C::MediaPlayPause> && !std::is_same_v<T, C::MediaNext> &&
    !std::is_same_v<T, C::MediaPrevious> && !std::is_same_v<T, C::MediaForward> &&
    !std::is_same_v<T, C::MediaBackward> && !std::is_same_v<T, C::MediaShuffle> &&
    !std::is_same_v<T, C::MediaRepeat> && !std::is_same_v<T, C::GetMediaVolume> &&
    !std::is_same_v<T, C::SetMediaVolume> && !std::is_same_v<T, C::GetMediaInfo> &&
    !std::is_same_v<T, C::ListBluetooth> && !std::is_same_v<T, C::TogglePanel>;

}  // namespace

struct AudioRequests::Visitor {
  AudioRequests& self;
  SoundServer& sound = self.sound_;
  Memory& memory = self.memory_;

  // System volume, microphone, silent mode.

  CLIResponse operator()(const C::GetVolume&) {
    return answerWith(Data::Volume{requireDefaultDevice(sound.snapshot(), false).volume});
  }

  CLIResponse operator()(const C::SetVolume& request) {
    requireVolume(request.percent, maxSystemVolume);
    const std::string output = requireDefaultDevice(sound.snapshot(), false).name;
    sound.setDeviceVolume(false, output, self.capped(request.percent));
    return answerWith(Data::Volume{requireDevice(sound.snapshot(), false, output).volume});
  }

  CLIResponse operator()(const C::StepVolume& request) {
    const Device output = requireDefaultDevice(sound.snapshot(), false);
    // Above 100 (raised elsewhere) stepping up leaves it where it is.
    const double stepped =
        request.direction == VolumeDirection::up
            ? std::max(output.volume, std::min(output.volume + volumeStep, maxSystemVolume))
            : std::max(output.volume - volumeStep, 0.0);
    const double target = self.capped(stepped);
    if (target != output.volume) {
      sound.setDeviceVolume(false, output.name, target);
    }
    return answerWith(Data::Volume{requireDevice(sound.snapshot(), false, output.name).volume});
  }

  CLIResponse operator()(const C::GetMuteState&) {
    return answerWith(Data::Muted{requireDefaultDevice(sound.snapshot(), true).muted});
  }

  CLIResponse operator()(const C::SetMute& request) {
    const Device input = requireDefaultDevice(sound.snapshot(), true);
    sound.setDeviceMute(true, input.name, applyMute(input.muted, request.action));
    return answerWith(Data::Muted{requireDevice(sound.snapshot(), true, input.name).muted});
  }

  CLIResponse operator()(const C::SetOutputMute& request) {
    const SoundState state = sound.snapshot();
    const Device& output = request.uid ? requireDevice(state, false, *request.uid)
                                       : requireDefaultDevice(state, false);
    const std::string name = output.name;
    sound.setDeviceMute(false, name, applyMute(output.muted, request.action));
    return answerWith(Data::Muted{requireDevice(sound.snapshot(), false, name).muted});
  }

  CLIResponse operator()(const C::GetSilentMode&) {
    return answerWith(Data::SilentMode{memory.silentMode()});
  }

  CLIResponse operator()(const C::ToggleSilentMode&) {
    const bool on = !memory.silentMode();
    const SoundState state = sound.snapshot();
    memory.setSilentMode(on);
    if (on) {
      for (const auto& [index, stream] : state.streams) {
        if (isEventSound(stream) && !stream.muted) {
          self.silenceStream(stream);
        }
      }
    } else {
      for (const auto index : std::exchange(self.silenced_, {})) {
        if (state.streams.count(index) > 0) {
          ignoringVanished([&] { sound.setStreamMute(index, false); }, index);
        }
      }
    }
    return answerWith(Data::SilentMode{on});
  }

  // Devices.

  CLIResponse operator()(const C::ListDevices& request) {
    const SoundState state = sound.snapshot();
    std::vector<CLIDeviceInfo> devices;
    for (const bool input : {false, true}) {
      if (request.direction && isInput(*request.direction) != input) {
        continue;
      }
      for (const auto& [index, device] : input ? state.sources : state.sinks) {
        if (!isHidden(device)) {
          devices.push_back(deviceInfo(device, state));
        }
      }
    }
    return answerWith(Data::Devices{std::move(devices)});
  }

  CLIResponse operator()(const C::GetCurrentDevice& request) {
    const SoundState state = sound.snapshot();
    return answerWith(
        Data::Device{deviceInfo(requireDefaultDevice(state, isInput(request.direction)), state)});
  }

  CLIResponse operator()(const C::SetDevice& request) {
    const bool input = isInput(request.direction);
    const std::string name = requireDevice(sound.snapshot(), input, request.uid).name;
    sound.setDefaultDevice(input, name);
    const SoundState after = sound.snapshot();
    return answerWith(Data::Device{deviceInfo(requireDevice(after, input, name), after)});
  }

  CLIResponse operator()(const C::CycleDevice& request) {
    const bool input = isInput(request.direction);
    const SoundState state = sound.snapshot();
    std::vector<const Device*> order = devicesInOrder(state, input, self.preferredOrder(input));
    std::erase_if(order, [&](const Device* device) { return isHidden(*device); });
    if (order.empty()) {
      throw RequestFailure(std::string("There are no ") + (input ? "input" : "output") +
                           " devices.");
    }
    const std::string& current = input ? state.defaultSource : state.defaultSink;
    auto at = std::find_if(order.begin(), order.end(),
                           [&](const Device* device) { return device->name == current; });
    const Device* next = (at == order.end() || at + 1 == order.end()) ? order.front() : *(at + 1);
    const std::string name = next->name;
    sound.setDefaultDevice(input, name);
    const SoundState after = sound.snapshot();
    return answerWith(Data::Device{deviceInfo(requireDevice(after, input, name), after)});
  }

  // Apps.

  CLIResponse operator()(const C::ListApps&) { return answerWith(Data::Apps{allApps()}); }

  CLIResponse operator()(const C::GetAppVolume& request) {
    return answerWith(Data::Volume{requireApp(sound.snapshot(), request.appID).volume()});
  }

  CLIResponse operator()(const C::SetAppVolume& request) {
    requireVolume(request.percent, maxAppVolume);
    const App app = requireApp(sound.snapshot(), request.appID);
    memory.updateApp(app.id, [&](AppSettings& settings) { settings.volume = request.percent; });
    for (const auto& stream : app.streams) {
      ignoringVanished([&] { sound.setStreamVolume(stream.index, request.percent); }, stream.index);
    }
    return answerWith(Data::App{appInfoAfter(app.id)});
  }

  CLIResponse operator()(const C::SetAppMute& request) {
    const App app = requireApp(sound.snapshot(), request.appID);
    const bool muted = applyMute(app.muted(), request.action);
    setAppMuted(app, muted);
    return answerWith(Data::App{appInfoAfter(app.id)});
  }

  CLIResponse operator()(const C::SoloApp& request) {
    const SoundState state = sound.snapshot();
    const App soloed = requireApp(state, request.appID);
    for (const auto& app : appsOf(state)) {
      setAppMuted(app, app.id != soloed.id);
    }
    return answerWith(Data::Apps{allApps()}, "Soloed " + soloed.name + "; other apps muted.");
  }

  CLIResponse operator()(const C::GetAppEQ& request) {
    const App app = requireApp(sound.snapshot(), request.appID);
    Equalizers& equalizers = requireEqualizers();
    return answerWith(Data::Eq{equalizers.info(app.id)}, equalizers.warningFor(app.id));
  }

  CLIResponse operator()(const C::ListEQPresets&) {
    return answerWith(Data::EqPresets{requireEqualizers().presetList()});
  }

  CLIResponse operator()(const C::SetAppEQ& request) {
    const SoundState state = sound.snapshot();
    const App app = requireApp(state, request.appID);
    Equalizers& equalizers = requireEqualizers();
    const std::optional<std::string> preset = equalizers.resolve(request.preset);
    // Remembered once it plays: a module the server refused is no setting.
    equalizers.apply(app, preset);
    memory.updateApp(app.id, [&](AppSettings& settings) { settings.eqPreset = preset; });
    return answerWith(Data::Eq{equalizers.info(app.id)}, equalizers.warningFor(app.id));
  }

  CLIResponse operator()(const C::GetAppDevice& request) {
    const SoundState state = sound.snapshot();
    const App app = requireApp(state, request.appID);
    if (const auto routed = routedDevice(app, state)) {
      return answerWith(Data::Device{deviceInfo(*routed, state)});
    }
    return answerWith(Data::Device{deviceInfo(requireDefaultDevice(state, false), state)},
                      app.name + " follows the default output device.");
  }

  CLIResponse operator()(const C::SetAppDevice& request) {
    const SoundState state = sound.snapshot();
    const App app = requireApp(state, request.appID);
    const bool followDefault = equalsIgnoringCase(request.deviceUID, "default");
    std::optional<std::string> device;
    if (!followDefault) {
      const Device& target = requireDevice(state, false, request.deviceUID);
      if (isHidden(target)) {
        throw RequestFailure("Device not found: " + quoted(request.deviceUID) + ".");
      }
      device = target.name;
    }
    memory.updateApp(app.id, [&](AppSettings& settings) { settings.device = device; });
    routeApp(app, device ? *device : requireDefaultDevice(state, false).name);
    if (followDefault) {
      return answerWith(Data::App{appInfoAfter(app.id)},
                        app.name + " now follows the default output device.");
    }
    return answerWith(Data::App{appInfoAfter(app.id)});
  }

  // Profiles.

  CLIResponse operator()(const C::ListProfiles&) {
    std::vector<CLIProfileInfo> profiles;
    for (const auto& profile : self.config_.profiles()) {
      profiles.push_back(
          {profile.id, profile.name, static_cast<std::int64_t>(profile.entries.size())});
    }
    return answerWith(Data::Profiles{std::move(profiles)});
  }

  CLIResponse operator()(const C::ApplyProfile& request) {
    const Profile profile = requireProfile(request.name);
    SoundState state = sound.snapshot();
    std::vector<std::string> notRunning;
    for (const auto& entry : profile.entries) {
      if (entry.volume) {
        requireVolume(*entry.volume, maxAppVolume);
      }
      if (entry.device && !equalsIgnoringCase(*entry.device, "default")) {
        requireDevice(state, false, *entry.device);
      }
    }
    for (const auto& entry : profile.entries) {
      const auto apps = appsOf(state);
      const auto running = std::find_if(apps.begin(), apps.end(),
                                        [&](const App& app) { return app.answersTo(entry.app); });
      const std::string id = running != apps.end() ? running->id : entry.app;
      std::optional<std::string> preset;
      if (entry.eqPreset && self.equalizers_ != nullptr) {
        preset = self.equalizers_->resolve(*entry.eqPreset);
      }
      memory.updateApp(id, [&](AppSettings& settings) {
        if (entry.volume) {
          settings.volume = entry.volume;
        }
        if (entry.muted) {
          settings.muted = entry.muted;
        }
        if (entry.device) {
          settings.device = equalsIgnoringCase(*entry.device, "default")
                                ? std::nullopt
                                : std::optional(requireDevice(state, false, *entry.device).name);
        }
        if (entry.eqPreset && self.equalizers_ != nullptr) {
          settings.eqPreset = preset;
        }
      });
      if (running == apps.end()) {
        notRunning.push_back(entry.app);
        continue;
      }
      for (const auto& stream : running->streams) {
        self.applyRemembered(stream, state);
      }
      state = sound.snapshot();
    }
    std::string message = "Applied profile " + quoted(profile.name) + ".";
    if (!notRunning.empty()) {
      message += " Not running: " + joined(notRunning) + " (remembered for when they start).";
    }
    return answerWith(Data::Apps{allApps()}, std::move(message));
  }

  // Status, version.

  CLIResponse operator()(const C::GetStatus&) {
    const SoundState state = sound.snapshot();
    CLIStatusInfo status;
    status.version = self.version_.version;
    status.isRunning = true;
    if (const Device* output = state.findDevice(false, state.defaultSink)) {
      status.outputDevice = deviceInfo(*output, state);
      status.outputVolume = output->volume;
    }
    if (const Device* input = state.findDevice(true, state.defaultSource)) {
      status.inputDevice = deviceInfo(*input, state);
      status.isMuted = input->muted;
    }
    status.isSilentMode = memory.silentMode();
    status.activeAppCount = static_cast<std::int64_t>(appsOf(state).size());
    status.cliInstalled = self.version_.cliInstalled;
    return answerWith(Data::Status{std::move(status)});
  }

  CLIResponse operator()(const C::GetVersion&) {
    return answerWith(Data::Version{
        CLIVersionInfo{self.version_.version, self.version_.build, self.version_.cliVersion}});
  }

  // Not answered here.
  template <class Other>
  CLIResponse operator()(const Other&) {
    return failure("This request is not handled by the sound server.");
  }

  // Helpers.

  // Runs a change on one stream; a stream that went away meanwhile is no
  // longer the app's, so its refusal is not the user's problem.
  template <class Change>
  void ignoringVanished(Change change, std::uint32_t stream) {
    try {
      change();
    } catch (const SoundServerRefusal&) {
      if (sound.snapshot().streams.count(stream) > 0) {
        throw;
      }
    }
  }

  bool isHidden(const Device& device) const {
    return self.equalizers_ != nullptr && self.equalizers_->isEqualizerSink(device);
  }

  Equalizers& requireEqualizers() const {
    if (self.equalizers_ == nullptr) {
      throw RequestFailure("Per-app EQ is not available in this build of kestruned.");
    }
    return *self.equalizers_;
  }

  void setAppMuted(const App& app, bool muted) {
    memory.updateApp(app.id, [&](AppSettings& settings) { settings.muted = muted; });
    for (const auto& stream : app.streams) {
      ignoringVanished([&] { sound.setStreamMute(stream.index, muted); }, stream.index);
    }
  }

  // Moves every stream of the app to `device`, or to its equaliser there.
  void routeApp(const App& app, const std::string& device) {
    if (self.equalizers_ != nullptr && self.equalizers_->follows(app.id)) {
      self.equalizers_->moveTo(app, device);
      return;
    }
    const std::string target =
        self.equalizers_ != nullptr ? self.equalizers_->entryOf(device) : device;
    for (const auto& stream : app.streams) {
      ignoringVanished([&] { sound.moveStream(stream.index, target); }, stream.index);
    }
  }

  // The device the app was routed to on purpose: by us, or moved by someone
  // else away from the default.
  std::optional<Device> routedDevice(const App& app, const SoundState& state) const {
    if (const auto settings = memory.app(app.id); settings && settings->device) {
      if (const Device* device = state.findDevice(false, *settings->device)) {
        return *device;
      }
    }
    for (const auto& stream : app.streams) {
      const Device* sink = realSinkOf(stream, state);
      if (sink == nullptr) {
        continue;
      }
      if (sink->name != state.defaultSink) {
        return *sink;
      }
    }
    return std::nullopt;
  }

  // The device a stream plays on, through its equaliser if it has one;
  // nothing when that is not known.
  const Device* realSinkOf(const Stream& stream, const SoundState& state) const {
    const Device* sink = state.sinkByIndex(stream.sink);
    if (sink == nullptr || !isHidden(*sink)) {
      return sink;
    }
    const auto device = self.equalizers_->deviceBehind(*sink);
    return device ? state.findDevice(false, *device) : nullptr;
  }

  CLIAppInfo appInfo(const App& app, const SoundState& state) const {
    CLIAppInfo info;
    info.id = app.id;
    info.name = app.name;
    info.bundleID = app.bundleID;
    info.volume = app.volume();
    info.isMuted = app.muted();
    if (const auto routed = routedDevice(app, state)) {
      info.deviceUID = routed->name;
      info.deviceName = routed->description;
    }
    if (self.equalizers_ != nullptr) {
      info.eqPreset = self.equalizers_->presetOf(app.id);
    }
    info.balance = std::round(app.balance() * 100 * 100) / 100;
    return info;
  }

  CLIAppInfo appInfoAfter(const std::string& id) const {
    const SoundState state = sound.snapshot();
    for (const auto& app : appsOf(state)) {
      if (app.id == id) {
        return appInfo(app, state);
      }
    }
    throw RequestFailure("The app stopped playing meanwhile.");
  }

  std::vector<CLIAppInfo> allApps() const {
    const SoundState state = sound.snapshot();
    std::vector<CLIAppInfo> apps;
    for (const auto& app : appsOf(state)) {
      apps.push_back(appInfo(app, state));
    }
    return apps;
  }

  Profile requireProfile(const std::string& name) const {
    const auto profiles = self.config_.profiles();
    for (const auto& profile : profiles) {
      if (equalsIgnoringCase(profile.name, name) || equalsIgnoringCase(profile.id, name)) {
        return profile;
      }
    }
    if (profiles.empty()) {
      throw RequestFailure("Profile not found: " + quoted(name) +
                           ". There are no saved profiles (" + self.files_.profiles + ").");
    }
    std::vector<std::string> names;
    names.reserve(profiles.size());
    for (const auto& profile : profiles) {
      names.push_back(profile.name);
    }
    throw RequestFailure("Profile not found: " + quoted(name) +
                         ". Saved profiles: " + joined(names));
  }
};

AudioRequests::AudioRequests(SoundServer& sound, Memory& memory, Equalizers* equalizers,
                             DaemonFiles files, VersionFacts version, Log log)
    : sound_(sound),
      memory_(memory),
      equalizers_(equalizers),
      files_(std::move(files)),
      config_(files_.profiles, files_.devices),
      version_(std::move(version)),
      log_(std::move(log)),
      deviceVolumes_(files_.deviceVolumes, log_),
      policy_(
          sound_, memory_, deviceVolumes_, [this] { return devicesFile(); },
          [this](const Device& device) {
            return equalizers_ != nullptr && equalizers_->isEqualizerSink(device);
          },
          log_) {}

CLIStatusInfo AudioRequests::statusOutOfReach() const {
  CLIStatusInfo status;
  status.version = version_.version;
  status.isSilentMode = memory_.silentMode();
  status.cliInstalled = version_.cliInstalled;
  return status;
}

bool AudioRequests::answers(const CLICommand& command) {
  return std::visit(
      [](const auto& request) { return isAudioRequest<std::decay_t<decltype(request)>>; },
      command.value);
}

bool AudioRequests::answersAtOnce(const CLICommand& command) const {
  const bool reads = std::visit(
      [](const auto& request) { return readsThePicture<std::decay_t<decltype(request)>>; },
      command.value);
  return reads && sound_.ready();
}

CLIResponse AudioRequests::answer(const CLICommand& command) {
  const bool reads = std::visit(
      [](const auto& request) { return readsThePicture<std::decay_t<decltype(request)>>; },
      command.value);
  if (reads) {
    return answerRequest(command);
  }
  CLIResponse response = answerRequest(command);
  // Done, but not remembered: the user hears of it with the answer.
  if (auto problem = memory_.takeSaveProblem(); problem && response.success) {
    response.message = response.message ? *response.message + " " + *problem : *problem;
  }
  return response;
}

CLIResponse AudioRequests::answerRequest(const CLICommand& command) {
  try {
    return std::visit(Visitor{*this}, command.value);
  } catch (const RequestFailure& failed) {
    return failure(failed.what());
  } catch (const SoundServerUnreachable& unreachable) {
    return failure(unreachable.description());
  } catch (const SoundServerRefusal& refusal) {
    return failure("The sound server refused the change: " + refusal.description());
  } catch (const SoundServerIgnoredMove& ignored) {
    return failure(ignored.description());
  } catch (const ConfigFileError& error) {
    return failure(error.description());
  }
}

double AudioRequests::capped(double percent) {
  const auto cap = policy_.cap();
  return cap ? std::min(percent, *cap) : percent;
}

std::vector<std::string> AudioRequests::preferredOrder(bool input) {
  return devicesFile().order(input);
}

DevicesFile AudioRequests::devicesFile() {
  DevicesFile file;
  std::vector<std::string> problems;
  try {
    file = config_.devices();
    problems = file.problems;
  } catch (const ConfigFileError& error) {
    problems = {error.description()};
  }
  if (problems != devicesFileProblems_) {
    for (const auto& problem : problems) {
      log_("ignoring " + std::string(file.problems.empty() ? "the devices file" : "a setting") +
           ": " + problem);
    }
    devicesFileProblems_ = std::move(problems);
  }
  return file;
}

void AudioRequests::silenceStream(const Stream& stream) {
  try {
    if (!stream.muted) {
      sound_.setStreamMute(stream.index, true);
    }
    silenced_.insert(stream.index);
  } catch (const SoundServerRefusal&) {
    // Gone before it could be muted.
  }
}

void AudioRequests::applyRemembered(const Stream& stream, const SoundState& state) {
  const auto identity = appIdentity(stream, state);
  if (!identity) {
    return;
  }
  if (memory_.silentMode() && isEventSound(stream)) {
    // Born during silent mode: muted because of it, even when the server
    // muted it itself, remembering the last event sound's state.
    silenceStream(stream);
  }
  const auto settings = memory_.app(*identity);
  if (!settings) {
    return;
  }
  try {
    if (settings->volume && std::abs(stream.volume - *settings->volume) >= 0.005) {
      sound_.setStreamVolume(stream.index, *settings->volume);
    }
    if (settings->muted && stream.muted != *settings->muted) {
      sound_.setStreamMute(stream.index, *settings->muted);
    }
    // A device given to the app; without one the stream stays where it was
    // started, with or without EQ.
    std::optional<std::string> device;
    if (settings->device && state.findDevice(false, *settings->device) != nullptr) {
      device = settings->device;
    }
    if (equalizers_ != nullptr && settings->eqPreset) {
      equalizers_->adopt(stream, *identity, *settings->eqPreset, device);
    } else if (equalizers_ != nullptr && equalizers_->follows(*identity)) {
      // EQ turned off (by a profile, say) while the app plays through one.
      App app;
      app.id = *identity;
      app.streams = {stream};
      equalizers_->apply(app, std::nullopt);
    } else if (device) {
      const std::string target = equalizers_ != nullptr ? equalizers_->entryOf(*device) : *device;
      const Device* sink = state.sinkByIndex(stream.sink);
      if (sink == nullptr || sink->name != target) {
        sound_.moveStream(stream.index, target);
      }
    }
  } catch (const SoundServerRefusal&) {
    // The stream ended meanwhile.
  } catch (const SoundServerIgnoredMove& ignored) {
    log_("could not restore the settings of " + *identity + ": " + ignored.description());
  } catch (const SoundServerUnreachable&) {
    // Applied again when the server is back.
  } catch (const RequestFailure& failed) {
    log_("could not restore the settings of " + *identity + ": " + failed.what());
  }
}

void AudioRequests::streamAppeared(std::uint32_t stream) {
  try {
    const SoundState state = sound_.snapshot();
    const auto found = state.streams.find(stream);
    if (found != state.streams.end()) {
      applyRemembered(found->second, state);
    }
  } catch (const SoundServerUnreachable&) {
    // Applied again when the server is back.
  }
}

void AudioRequests::devicesChanged() {
  policy_.changed();
}

void AudioRequests::quitting() {
  policy_.restoreUsersDefault();
}

void AudioRequests::defaultsChanged() {
  policy_.changed();
  if (equalizers_ == nullptr) {
    return;
  }
  try {
    logRefusals("move an equaliser to the new default output",
                [this] { equalizers_->defaultOutputChanged(sound_.snapshot()); });
  } catch (const SoundServerUnreachable&) {
    // Caught up with on the next connection.
  }
}

std::map<std::string, std::string, std::less<>> AudioRequests::appIcons() {
  std::map<std::string, std::string, std::less<>> icons;
  try {
    for (const App& app : appsOf(sound_.snapshot())) {
      for (const Stream& stream : app.streams) {
        std::string icon = stream.property("application.icon_name");
        if (!icon.empty()) {
          icons.emplace(app.id, std::move(icon));
          break;
        }
      }
    }
  } catch (const SoundServerUnreachable&) {
    // No apps to show.
  }
  return icons;
}

void AudioRequests::checkCorrections() {
  try {
    correctDevices();
  } catch (const SoundServerUnreachable&) {
    // Corrected again on the next connection.
  }
}

void AudioRequests::configFilesChanged() {
  checkCorrections();
  if (equalizers_ == nullptr) {
    return;
  }
  try {
    logRefusals("load an edited EQ preset", [this] { equalizers_->reloadEditedPresets(); });
  } catch (const SoundServerUnreachable&) {
    // Loaded from the presets as they are on the next connection.
  }
}

void AudioRequests::correctDevices() {
  if (equalizers_ == nullptr) {
    return;
  }
  logRefusals("put a device's correction in place",
              [this] { equalizers_->correct(devicesFile().correction); });
}

void AudioRequests::logRefusals(const std::string& doing, const std::function<void()>& work) {
  const auto failed = [&](const std::string& reason) {
    log_("could not " + doing + ": " + reason);
  };
  try {
    work();
  } catch (const SoundServerRefusal& refusal) {
    failed(refusal.description());
  } catch (const SoundServerIgnoredMove& ignored) {
    failed(ignored.description());
  } catch (const RequestFailure& failure) {
    failed(failure.what());
  }
}

void AudioRequests::serverConnected() {
  silenced_.clear();
  policy_.serverConnected();
  try {
    if (equalizers_ != nullptr) {
      equalizers_->serverConnected(sound_.snapshot());
    }
    correctDevices();
    const SoundState state = sound_.snapshot();
    for (const auto& [index, stream] : state.streams) {
      applyRemembered(stream, state);
    }
  } catch (const SoundServerUnreachable&) {
    // Lost again already; the next connection tries once more.
  }
}

}  // namespace kestrune::daemon
