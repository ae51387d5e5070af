#pragma once
// Sinks and sources as the protocol's devices.

#include <string>
#include <string_view>
#include <vector>

#include "daemon/pulse/SoundServer.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon {

// "Bluetooth", "USB", "HDMI", "DisplayPort", "Built-in", "Network" or
// "Virtual", from what the server says of the device.
std::string transportType(const Device& device);

CLIDeviceInfo deviceInfo(const Device& device, const SoundState& state);

// The devices of one direction, the default first among equals: in the
// order `preferred` names them, then the rest in the server's order.
std::vector<const Device*> devicesInOrder(const SoundState& state, bool input,
                                          const std::vector<std::string>& preferred);

// The device by name (UID), else the only one whose UID or description
// matches ignoring case. Throws RequestFailure listing the devices.
const Device& requireDevice(const SoundState& state, bool input, std::string_view uid);

// The server's default device of that direction. Throws RequestFailure.
const Device& requireDefaultDevice(const SoundState& state, bool input);

}  // namespace kestrune::daemon
