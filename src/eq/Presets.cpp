#include "eq/Presets.h"

#include "protocol/Text.h"

namespace kestrune::eq {

const std::vector<Preset>& builtInPresets() {
  static const std::vector<Preset> presets = {
      {"flat", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"rock", {5, 4, 3, 1, -1, -1, 1, 3, 4, 5}},
      {"pop", {-1.5, -1, 0, 2, 4, 4, 2, 0, -1, -1.5}},
      {"jazz", {4, 3, 1, 2, -1.5, -1.5, 0, 1.5, 3, 4}},
      {"classical", {4.5, 3.5, 3, 2.5, -1.5, -1.5, 0, 2, 3, 3.5}},
      {"bassBoost", {6, 5, 4, 2.5, 1, 0, 0, 0, 0, 0}},
      {"trebleBoost", {0, 0, 0, 0, 0, 1, 2.5, 4, 5, 6}},
      {"vocal", {-2, -1.5, -1, 1, 3.5, 4, 3, 1.5, 0, -1}},
      {"loudness", {6, 4, 0, 0, -2, 0, -1, -5, 5, 1}},
  };
  return presets;
}

bool sameName(std::string_view a, std::string_view b) {
  return equalsIgnoringCase(a, b);
}

bool isOffName(std::string_view name) {
  return sameName(name, offName);
}

std::vector<CLIEQBand> bandsOf(const Preset& preset) {
  std::vector<CLIEQBand> bands;
  bands.reserve(bandCount);
  for (std::size_t i = 0; i < bandCount; ++i) {
    bands.push_back({bandFrequencies[i], preset.gains[i]});
  }
  return bands;
}

PresetCatalog::PresetCatalog() : presets_(builtInPresets()) {}

PresetCatalog::PresetCatalog(const std::vector<Preset>& userPresets) : presets_(builtInPresets()) {
  presets_.insert(presets_.end(), userPresets.begin(), userPresets.end());
}

const Preset* PresetCatalog::find(std::string_view name) const {
  for (const Preset& candidate : presets_) {
    if (sameName(candidate.name, name)) {
      return &candidate;
    }
  }
  return nullptr;
}

std::string PresetCatalog::names() const {
  std::string text;
  for (const Preset& preset : presets_) {
    if (!text.empty()) {
      text += ", ";
    }
    text += preset.name;
  }
  return text;
}

std::string PresetCatalog::unknownPresetMessage(std::string_view typed) const {
  return "Unknown EQ preset: \"" + std::string(typed) + "\". Available presets: " + names() +
         " (or off)";
}

CLIEQInfo PresetCatalog::info(const std::optional<std::string>& preset) const {
  const Preset* found = preset ? find(*preset) : nullptr;
  if (found == nullptr) {
    return CLIEQInfo{false, std::nullopt, {}};
  }
  return CLIEQInfo{true, found->name, bandsOf(*found)};
}

const PresetCatalog& builtInCatalog() {
  static const PresetCatalog catalog;
  return catalog;
}

}  // namespace kestrune::eq
