#include "daemon/DevicePolicy.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>
#include <vector>

#include "daemon/Apps.h"

namespace kestrune::daemon {

namespace {

using Clock = std::chrono::steady_clock;

// Volumes closer than this are the same (the server rounds them).
constexpr double sameVolume = 0.5;
// Above the cap by less than this is at the cap.
constexpr double capSlack = 0.005;
// The server moves the streams that follow the default by itself; a move
// made here would tie a stream to its device, so it is made only for the
// streams still where they were after this long.
constexpr auto serverMoveWait = std::chrono::milliseconds(300);
constexpr auto serverMoveRecheck = std::chrono::milliseconds(5);

const std::string& defaultOf(const SoundState& state, bool input) {
  return input ? state.defaultSource : state.defaultSink;
}

const char* directionWord(bool input) {
  return input ? "input" : "output";
}

// Where the device stands in the list; one not named ranks below them all.
std::size_t rankOf(const std::vector<std::string>& order, const std::string& name) {
  return static_cast<std::size_t>(std::find(order.begin(), order.end(), name) - order.begin());
}

bool names(const std::map<std::uint32_t, std::string>& devices, const std::string& name) {
  return std::any_of(devices.begin(), devices.end(),
                     [&](const auto& device) { return device.second == name; });
}

}  // namespace

DevicePolicy::DevicePolicy(SoundServer& sound, Memory& memory, DeviceVolumes& volumes,
                           Settings settings, Own own, Log log)
    : sound_(sound),
      memory_(memory),
      volumes_(volumes),
      settings_(std::move(settings)),
      own_(std::move(own)),
      log_(std::move(log)) {}

std::optional<double> DevicePolicy::cap() {
  return settings_().maxVolume;
}

void DevicePolicy::serverConnected() {
  try {
    const DevicesFile settings = settings_();
    const SoundState state = sound_.snapshot();
    for (const bool input : {false, true}) {
      Side& side = sides_[input];
      side.seen = true;
      side.present = devicesOf(state, input);
      side.lastDefault = defaultOf(state, input);
      if (side.lastDefault != side.ownChoice) {
        side.ownChoice.clear();
        side.usersChoice = side.lastDefault;
      }
    }
    capOutputs(state, settings);
    rememberVolumes(sound_.snapshot());
  } catch (const SoundServerUnreachable&) {
    // Lost again already; the next connection starts over.
  } catch (const SoundServerRefusal& refusal) {
    log_("could not keep an output under the volume cap: " + refusal.description());
  }
}

void DevicePolicy::changed() {
  if (!sides_[0].seen) {
    return;  // the connection's picture comes first
  }
  try {
    const DevicesFile settings = settings_();
    const SoundState state = sound_.snapshot();
    for (const bool input : {false, true}) {
      follow(input, state, settings);
    }
    capOutputs(sound_.snapshot(), settings);
    rememberVolumes(sound_.snapshot());
  } catch (const SoundServerUnreachable&) {
    // Started over on the next connection.
  } catch (const SoundServerRefusal& refusal) {
    // A device that left while it was being changed: its removal is
    // another change, handled next.
    log_("could not follow a change of the devices: " + refusal.description());
  } catch (const SoundServerIgnoredMove& ignored) {
    log_("could not move a stream to the new default output: " + ignored.description());
  }
}

void DevicePolicy::restoreUsersDefault() {
  try {
    const SoundState state = sound_.snapshot();
    for (const bool input : {false, true}) {
      const Side& side = sides_[input];
      if (side.ownChoice.empty() || side.usersChoice.empty() ||
          side.usersChoice == side.ownChoice ||
          state.findDevice(input, side.usersChoice) == nullptr) {
        continue;
      }
      sound_.setDefaultDevice(input, side.usersChoice);
    }
  } catch (const SoundServerUnreachable&) {
    // Nothing to put back then.
  } catch (const SoundServerRefusal& refusal) {
    log_("could not put back the default device: " + refusal.description());
  }
}

void DevicePolicy::follow(bool input, const SoundState& state, const DevicesFile& settings) {
  Side& side = sides_[input];
  auto now = devicesOf(state, input);
  const std::string& current = defaultOf(state, input);
  const bool defaultLeft = !side.lastDefault.empty() && !names(now, side.lastDefault);
  noteDefault(side, current, defaultLeft);

  std::vector<const Device*> came;
  for (const auto& [index, name] : now) {
    if (side.present.count(index) == 0) {
      came.push_back(state.findDevice(input, name));
    }
  }
  side.present = std::move(now);
  for (const Device* device : came) {
    restoreVolume(*device, settings);
  }

  if (settings.switchOnConnect) {
    const auto& order = settings.order(input);
    const Device* best = nullptr;
    for (const Device* device : came) {
      if (best == nullptr || rankOf(order, device->name) < rankOf(order, best->name)) {
        best = device;
      }
    }
    if (best != nullptr && rankOf(order, best->name) < rankOf(order, current)) {
      switchTo(input, best->name, state);
    } else if (defaultLeft) {
      goBack(input, state, settings);
    }
  }
  side.lastDefault = defaultOf(sound_.snapshot(), input);
}

void DevicePolicy::noteDefault(Side& side, const std::string& current, bool previousLeft) {
  // The server's own pick when the default left is nobody's choice.
  if (current.empty() || current == side.lastDefault || previousLeft || current == side.ownChoice) {
    return;
  }
  side.usersChoice = current;
  side.ownChoice.clear();
}

void DevicePolicy::restoreVolume(const Device& device, const DevicesFile& settings) {
  std::optional<double> target = volumes_.volume(device.isInput, device.name);
  if (!target && !device.isInput) {
    target = settings.newDeviceVolume;
  }
  if (!target) {
    return;
  }
  if (!device.isInput && settings.maxVolume) {
    target = std::min(*target, *settings.maxVolume);
  }
  if (std::abs(device.volume - *target) >= sameVolume) {
    sound_.setDeviceVolume(device.isInput, device.name, *target);
  }
}

void DevicePolicy::switchTo(bool input, const std::string& name, const SoundState& before) {
  Side& side = sides_[input];
  const std::string previous = defaultOf(before, input);
  if (!previous.empty()) {
    side.replaced[name] = previous;
  }
  sound_.setDefaultDevice(input, name);
  side.ownChoice = name;
  log_(std::string("the default ") + directionWord(input) + " is now " + name + ", which appeared");
  if (!input && !previous.empty()) {
    moveFollowers(before, previous, name);
  }
}

void DevicePolicy::goBack(bool input, const SoundState& state, const DevicesFile& settings) {
  Side& side = sides_[input];
  std::string back;
  if (const auto found = side.replaced.find(side.lastDefault);
      found != side.replaced.end() && names(side.present, found->second)) {
    back = found->second;
  } else {
    const auto& order = settings.order(input);
    for (const auto& [index, name] : side.present) {
      if (rankOf(order, name) < order.size() &&
          (back.empty() || rankOf(order, name) < rankOf(order, back))) {
        back = name;
      }
    }
  }
  side.replaced.erase(side.lastDefault);
  if (back.empty()) {
    return;  // the server's own pick stands
  }
  // Set even when the server picked it already: on PipeWire this is what
  // replaces the configured default naming the device that left.
  sound_.setDefaultDevice(input, back);
  side.ownChoice = back;
  if (defaultOf(state, input) != back) {
    log_(std::string("the default ") + directionWord(input) + " is now " + back + ", as " +
         side.lastDefault + " left");
  }
}

void DevicePolicy::moveFollowers(const SoundState& before, const std::string& from,
                                 const std::string& to) {
  const Device* old = before.findDevice(false, from);
  if (old == nullptr) {
    return;
  }
  std::vector<std::uint32_t> followers;
  for (const auto& [index, stream] : before.streams) {
    const auto app = stream.sink == old->index ? appIdentity(stream, before) : std::nullopt;
    if (!app) {
      continue;
    }
    // An app given a device stays on it.
    if (const auto settings = memory_.app(*app); settings && settings->device) {
      continue;
    }
    followers.push_back(index);
  }
  const auto deadline = Clock::now() + serverMoveWait;
  while (true) {
    const SoundState state = sound_.snapshot();
    const Device* target = state.findDevice(false, to);
    if (target == nullptr) {
      return;
    }
    std::erase_if(followers, [&](std::uint32_t index) {
      const auto found = state.streams.find(index);
      return found == state.streams.end() || found->second.sink == target->index;
    });
    if (followers.empty() || Clock::now() >= deadline) {
      break;
    }
    std::this_thread::sleep_for(serverMoveRecheck);
  }
  for (const std::uint32_t stream : followers) {
    try {
      sound_.moveStream(stream, to);
    } catch (const SoundServerRefusal&) {
      // The stream ended meanwhile.
    }
  }
}

void DevicePolicy::capOutputs(const SoundState& state, const DevicesFile& settings) {
  if (!settings.maxVolume) {
    return;
  }
  for (const auto& [index, device] : state.sinks) {
    if (!own_(device) && device.volume > *settings.maxVolume + capSlack) {
      sound_.setDeviceVolume(false, device.name, *settings.maxVolume);
    }
  }
}

void DevicePolicy::rememberVolumes(const SoundState& state) {
  for (const bool input : {false, true}) {
    for (const auto& [index, device] : input ? state.sources : state.sinks) {
      if (!own_(device)) {
        volumes_.remember(input, device.name, device.volume);
      }
    }
  }
}

std::map<std::uint32_t, std::string> DevicePolicy::devicesOf(const SoundState& state,
                                                             bool input) const {
  std::map<std::uint32_t, std::string> devices;
  for (const auto& [index, device] : input ? state.sources : state.sinks) {
    if (!own_(device)) {
      devices.emplace(index, device.name);
    }
  }
  return devices;
}

}  // namespace kestrune::daemon
