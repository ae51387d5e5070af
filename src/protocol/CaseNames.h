#pragma once
// The JSON keys of the tagged unions' cases, indexed like their variants.

#include <array>
#include <optional>
#include <string_view>
#include <variant>

#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune {

inline constexpr std::array<std::string_view, 38> commandCaseNames = {
    "getVolume",      "setVolume",        "stepVolume",     "getMuteState",     "setMute",
    "getSilentMode",  "toggleSilentMode", "listDevices",    "getCurrentDevice", "setDevice",
    "cycleDevice",    "listApps",         "getAppVolume",   "setAppVolume",     "setAppMute",
    "soloApp",        "getAppEQ",         "setAppEQ",       "getAppDevice",     "setAppDevice",
    "listProfiles",   "applyProfile",     "mediaPlayPause", "mediaNext",        "mediaPrevious",
    "mediaForward",   "mediaBackward",    "mediaShuffle",   "mediaRepeat",      "getMediaVolume",
    "setMediaVolume", "getMediaInfo",     "listBluetooth",  "togglePanel",      "getStatus",
    "getVersion",     "setOutputMute",    "listEQPresets"};
static_assert(commandCaseNames.size() == std::variant_size_v<CLICommand::Case>);

inline constexpr std::array<std::string_view, 16> responseCaseNames = {
    "volume",    "muted",     "silentMode", "device",  "devices", "apps", "app",  "profiles",
    "mediaInfo", "bluetooth", "status",     "version", "eq",      "text", "bool", "eqPresets"};
static_assert(responseCaseNames.size() == std::variant_size_v<CLIResponseData::Case>);

// The case number of a JSON key, if it names a case.
template <std::size_t N>
std::optional<std::size_t> caseIndex(const std::array<std::string_view, N>& names,
                                     std::string_view key) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == key) {
      return i;
    }
  }
  return std::nullopt;
}

}  // namespace kestrune
