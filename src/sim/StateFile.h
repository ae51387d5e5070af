#pragma once
// The state file of --state: the whole StateModel as JSON, written
// atomically so that a reader sees the old or the new state, never half.

#include <optional>
#include <string>

#include "json/Value.h"
#include "sim/StateModel.h"

namespace kestrune::sim {

inline constexpr std::int64_t stateFileFormat = 1;

json::Value stateToJSON(const StateModel& state);
// Throws json::DecodingError naming the path of the first problem, also for
// values the simulation cannot use (a volume of 300, a default device UID
// that no device has).
StateModel stateFromJSON(const json::Value& value);

// Nothing when no file exists at the path. Throws SimError (stateFile) when
// the file cannot be read or does not hold a usable state.
std::optional<StateModel> readStateFile(const std::string& path);
// Throws SimError (stateFile).
void writeStateFile(const std::string& path, const StateModel& state);

}  // namespace kestrune::sim
