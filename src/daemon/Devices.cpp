#include "daemon/Devices.h"

#include <algorithm>

#include "daemon/RequestFailure.h"
#include "protocol/Text.h"

namespace kestrune::daemon {

namespace {

std::string lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return result;
}

std::string propertyOf(const Device& device, std::string_view key) {
  const auto found = device.properties.find(key);
  return found == device.properties.end() ? std::string() : lower(found->second);
}

bool mentions(const std::string& text, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view word) { return text.find(word) != std::string::npos; });
}

const char* directionWord(bool input) {
  return input ? "input" : "output";
}

}  // namespace

std::string transportType(const Device& device) {
  const std::string bus = propertyOf(device, "device.bus");
  const std::string api = propertyOf(device, "device.api");
  const std::string driver = lower(device.driver);
  const std::string name = lower(device.name);
  // Where the server says nothing of the hardware, the port and profile
  // names still tell HDMI from the speakers.
  const std::string what = name + " " + lower(device.description) + " " +
                           propertyOf(device, "device.profile.name") + " " +
                           propertyOf(device, "device.string");
  if (bus == "bluetooth" || api == "bluez5" || mentions(name, {"bluez"})) {
    return "Bluetooth";
  }
  if (bus == "usb") {
    return "USB";
  }
  if (mentions(driver, {"tunnel", "rtp", "raop", "roc", "zeroconf"}) ||
      mentions(name, {"tunnel", "rtp", "raop"}) || bus == "network" ||
      device.properties.count("tunnel.remote.server") > 0) {
    return "Network";
  }
  if (mentions(what, {"displayport"})) {
    return "DisplayPort";
  }
  if (mentions(what, {"hdmi"})) {
    return "HDMI";
  }
  if (bus == "pci" || bus == "platform" || bus == "isa" || bus == "firewire") {
    return "Built-in";
  }
  return "Virtual";  // null, remap, loopback, filters: no bus of their own
}

CLIDeviceInfo deviceInfo(const Device& device, const SoundState& state) {
  CLIDeviceInfo info;
  info.uid = device.name;
  info.name = device.description;
  info.isInput = device.isInput;
  info.isOutput = !device.isInput;
  info.isDefault = device.name == (device.isInput ? state.defaultSource : state.defaultSink);
  info.volume = device.volume;
  info.isMuted = device.muted;
  info.sampleRate = static_cast<double>(device.sampleRate);
  info.transportType = transportType(device);
  return info;
}

std::vector<const Device*> devicesInOrder(const SoundState& state, bool input,
                                          const std::vector<std::string>& preferred) {
  std::vector<const Device*> devices;
  for (const auto& name : preferred) {
    if (const Device* device = state.findDevice(input, name)) {
      if (std::find(devices.begin(), devices.end(), device) == devices.end()) {
        devices.push_back(device);
      }
    }
  }
  for (const auto& [index, device] : input ? state.sources : state.sinks) {
    if (std::find(devices.begin(), devices.end(), &device) == devices.end()) {
      devices.push_back(&device);
    }
  }
  return devices;
}

namespace {

// The one device named so ignoring case, by UID or description; nothing
// when none or several are.
const Device* deviceIgnoringCase(const SoundState& state, bool input, std::string_view word) {
  const Device* match = nullptr;
  for (const auto& [index, device] : input ? state.sources : state.sinks) {
    if (equalsIgnoringCase(device.name, word) || equalsIgnoringCase(device.description, word)) {
      if (match != nullptr) {
        return nullptr;
      }
      match = &device;
    }
  }
  return match;
}

}  // namespace

const Device& requireDevice(const SoundState& state, bool input, std::string_view uid) {
  if (const Device* device = state.findDevice(input, uid)) {
    return *device;
  }
  if (const Device* device = deviceIgnoringCase(state, input, uid)) {
    return *device;
  }
  std::vector<std::string> names;
  for (const auto& [index, device] : input ? state.sources : state.sinks) {
    names.push_back(device.name);
  }
  const std::string kind = input ? "Input devices" : "Output devices";
  if (names.empty()) {
    throw RequestFailure("Device not found: " + quoted(uid) + ". There are no " +
                         directionWord(input) + " devices.");
  }
  throw RequestFailure("Device not found: " + quoted(uid) + ". " + kind + ": " + joined(names));
}

const Device& requireDefaultDevice(const SoundState& state, bool input) {
  if (const Device* device =
          state.findDevice(input, input ? state.defaultSource : state.defaultSink)) {
    return *device;
  }
  throw RequestFailure(std::string("There is no default ") + directionWord(input) + " device.");
}

}  // namespace kestrune::daemon
