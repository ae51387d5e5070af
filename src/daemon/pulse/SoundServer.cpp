#include "daemon/pulse/SoundServer.h"

namespace kestrune::daemon {

std::string Stream::property(std::string_view key) const {
  const auto found = properties.find(key);
  return found == properties.end() ? std::string() : found->second;
}

const Device* SoundState::findDevice(bool input, std::string_view name) const {
  for (const auto& [index, device] : input ? sources : sinks) {
    if (device.name == name) {
      return &device;
    }
  }
  return nullptr;
}

const Device* SoundState::sinkByIndex(std::uint32_t index) const {
  const auto found = sinks.find(index);
  return found == sinks.end() ? nullptr : &found->second;
}

}  // namespace kestrune::daemon
