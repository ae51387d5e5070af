#include "sim/Equalizer.h"

#include <array>

#include "sim/Text.h"

namespace kestrune::sim {

namespace {

constexpr std::array<double, 10> bandFrequencies = {32,   64,   125,  250,  500,
                                                    1000, 2000, 4000, 8000, 16000};

EQPreset preset(std::string_view name, const std::array<double, 10>& gains) {
  EQPreset result{name, {}};
  for (std::size_t i = 0; i < gains.size(); ++i) {
    result.bands.push_back({bandFrequencies[i], gains[i]});
  }
  return result;
}

}  // namespace

const std::vector<EQPreset>& eqPresets() {
  static const std::vector<EQPreset> presets = {
      preset("flat", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
      preset("rock", {5, 4, 3, 1, -1, -1, 1, 3, 4, 5}),
      preset("pop", {-1.5, -1, 0, 2, 4, 4, 2, 0, -1, -1.5}),
      preset("jazz", {4, 3, 1, 2, -1.5, -1.5, 0, 1.5, 3, 4}),
      preset("classical", {4.5, 3.5, 3, 2.5, -1.5, -1.5, 0, 2, 3, 3.5}),
      preset("bassBoost", {6, 5, 4, 2.5, 1, 0, 0, 0, 0, 0}),
      preset("trebleBoost", {0, 0, 0, 0, 0, 1, 2.5, 4, 5, 6}),
      preset("vocal", {-2, -1.5, -1, 1, 3.5, 4, 3, 1.5, 0, -1}),
      preset("loudness", {6, 4, 0, 0, -2, 0, -1, -5, 5, 1}),
  };
  return presets;
}

const EQPreset* findEQPreset(std::string_view name) {
  for (const auto& candidate : eqPresets()) {
    if (equalsIgnoringCase(candidate.name, name)) {
      return &candidate;
    }
  }
  return nullptr;
}

std::string eqPresetNames() {
  std::vector<std::string> names;
  for (const auto& candidate : eqPresets()) {
    names.emplace_back(candidate.name);
  }
  return joined(names);
}

CLIEQInfo eqInfo(const std::optional<std::string>& preset) {
  const EQPreset* found = preset ? findEQPreset(*preset) : nullptr;
  if (found == nullptr) {
    return CLIEQInfo{false, std::nullopt, {}};
  }
  return CLIEQInfo{true, std::string(found->name), found->bands};
}

}  // namespace kestrune::sim
