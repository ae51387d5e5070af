#pragma once
// Finding what a request names in the state, and describing state as the
// protocol's records.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"
#include "sim/StateModel.h"

namespace kestrune::sim {

// A request the state cannot carry out; the text is the reply's error and
// names what exists when something named was not found.
class RequestFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// By name (ignoring ASCII case), bundle ID (ignoring ASCII case) or id.
// Throws: App not found: "Foo". Running apps: Music, Safari, ...
SimApp& requireApp(StateModel& state, std::string_view appID);
SimApp* findApp(StateModel& state, std::string_view appID);

// By UID, or failing that by name (ignoring ASCII case); with a direction
// the device must have it.
SimDevice& requireDevice(StateModel& state, std::string_view uid,
                         std::optional<AudioDirection> direction);
SimDevice* findDeviceByUID(StateModel& state, std::string_view uid);
const SimDevice* findDeviceByUID(const StateModel& state, std::string_view uid);

// By name (ignoring ASCII case) or id.
const SimProfile& requireProfile(const StateModel& state, std::string_view name);

bool hasDirection(const SimDevice& device, AudioDirection direction);
std::string_view directionName(AudioDirection direction);  // "input", "output"

// The default device of that direction; throws when there is none.
SimDevice& requireDefaultDevice(StateModel& state, AudioDirection direction);
const SimDevice* defaultDevice(const StateModel& state, AudioDirection direction);

// `isDefault` is judged for `direction`, or for either direction when absent.
CLIDeviceInfo deviceInfo(const StateModel& state, const SimDevice& device,
                         std::optional<AudioDirection> direction = std::nullopt);
CLIAppInfo appInfo(const StateModel& state, const SimApp& app);
CLIMediaInfo mediaInfo(const SimMedia& media);
CLIStatusInfo statusInfo(const StateModel& state);

inline constexpr std::string_view simulatedVersion = "1.0.0";
inline constexpr std::string_view simulatedBuild = "sim";
CLIVersionInfo versionInfo();

}  // namespace kestrune::sim
