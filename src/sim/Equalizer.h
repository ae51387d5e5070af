#pragma once
// The EQ presets the simulated application offers: ten bands, 32 Hz to 16 kHz.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/CLIResponse.h"

namespace kestrune::sim {

struct EQPreset {
  std::string_view name;
  std::vector<CLIEQBand> bands;
};

const std::vector<EQPreset>& eqPresets();

// The preset with that name, compared without regard to ASCII case, so that
// "bassboost" finds "bassBoost".
const EQPreset* findEQPreset(std::string_view name);

// "flat, rock, pop, ..." for messages.
std::string eqPresetNames();

// The EQ state of an app whose preset is `preset` (absent: EQ off, no bands).
CLIEQInfo eqInfo(const std::optional<std::string>& preset);

}  // namespace kestrune::sim
