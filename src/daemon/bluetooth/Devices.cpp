#include "daemon/bluetooth/Devices.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace kestrune::daemon::bluetooth {

namespace {

const char* deviceInterface = "org.bluez.Device1";
const char* batteryInterface = "org.bluez.Battery1";

// 16-bit service classes of the audio profiles, as they appear in the
// Bluetooth base UUID 0000xxxx-0000-1000-8000-00805f9b34fb.
constexpr std::array<std::string_view, 15> audioServices = {
    "1108",  // Headset
    "110a",  // Audio Source (A2DP)
    "110b",  // Audio Sink (A2DP)
    "110c",  // A/V Remote Control Target
    "110d",  // Advanced Audio Distribution
    "110e",  // A/V Remote Control
    "110f",  // A/V Remote Control Controller
    "1112",  // Headset Audio Gateway
    "111e",  // Handsfree
    "111f",  // Handsfree Audio Gateway
    "1131",  // Headset HS
    "184e",  // Audio Stream Control (LE Audio)
    "184f",  // Broadcast Audio Scan (LE Audio)
    "1850",  // Published Audio Capabilities (LE Audio)
    "1853",  // Common Audio (LE Audio)
};

constexpr std::string_view baseSuffix = "-0000-1000-8000-00805f9b34fb";

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool isAudioService(const std::string& uuid) {
  const std::string id = lowercase(uuid);
  const bool based = id.size() == 36 && id.compare(0, 4, "0000") == 0 &&
                     std::string_view(id).substr(8) == baseSuffix;
  if (!based) {
    return false;
  }
  const std::string_view shortId = std::string_view(id).substr(4, 4);
  return std::find(audioServices.begin(), audioServices.end(), shortId) != audioServices.end();
}

std::optional<std::string> text(const dbus::Value::Dict& properties, const char* name) {
  const auto found = properties.find(name);
  if (found == properties.end()) {
    return std::nullopt;
  }
  auto value = found->second.string();
  return value && !value->empty() ? value : std::nullopt;
}

bool flag(const dbus::Value::Dict& properties, const char* name) {
  const auto found = properties.find(name);
  return found != properties.end() && found->second.boolean().value_or(false);
}

std::optional<std::int64_t> batteryLevel(const Interfaces& object) {
  const auto battery = object.find(batteryInterface);
  if (battery == object.end()) {
    return std::nullopt;
  }
  const auto percentage = battery->second.find("Percentage");
  if (percentage == battery->second.end()) {
    return std::nullopt;
  }
  auto level = percentage->second.integer();
  if (!level || *level < 0 || *level > 100) {
    return std::nullopt;
  }
  return level;
}

}  // namespace

Interfaces interfaces(const dbus::Value& added) {
  Interfaces result;
  if (const auto* members = added.dict()) {
    for (const auto& [name, properties] : *members) {
      result[name] = properties.dict() != nullptr ? *properties.dict() : dbus::Value::Dict{};
    }
  }
  return result;
}

ObjectTree objectTree(const dbus::Value& managedObjects) {
  ObjectTree tree;
  if (const auto* objects = managedObjects.dict()) {
    for (const auto& [path, added] : *objects) {
      tree[path] = interfaces(added);
    }
  }
  return tree;
}

bool isAudioDevice(const dbus::Value::Dict& device) {
  if (auto icon = text(device, "Icon"); icon && icon->rfind("audio-", 0) == 0) {
    return true;
  }
  const auto uuids = device.find("UUIDs");
  if (uuids == device.end()) {
    return false;
  }
  const auto services = uuids->second.strings();
  return std::any_of(services.begin(), services.end(), isAudioService);
}

std::vector<CLIBluetoothInfo> connectedAudioDevices(const ObjectTree& objects) {
  std::vector<CLIBluetoothInfo> devices;
  for (const auto& [path, object] : objects) {
    const auto device = object.find(deviceInterface);
    if (device == object.end() || !flag(device->second, "Connected") ||
        !isAudioDevice(device->second)) {
      continue;
    }
    const auto& properties = device->second;
    std::string name =
        text(properties, "Alias")
            .value_or(
                text(properties, "Name").value_or(text(properties, "Address").value_or(path)));
    devices.push_back(CLIBluetoothInfo{std::move(name), batteryLevel(object), true});
  }
  return devices;
}

}  // namespace kestrune::daemon::bluetooth
