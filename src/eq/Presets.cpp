#include "eq/Presets.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "protocol/Text.h"

namespace kestrune::eq {

const std::vector<Preset>& builtInPresets() {
  static const std::vector<Preset> presets = {
      {"flat", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, std::nullopt},
      {"rock", {5, 4, 3, 1, -1, -1, 1, 3, 4, 5}, std::nullopt},
      {"pop", {-1.5, -1, 0, 2, 4, 4, 2, 0, -1, -1.5}, std::nullopt},
      {"jazz", {4, 3, 1, 2, -1.5, -1.5, 0, 1.5, 3, 4}, std::nullopt},
      {"classical", {4.5, 3.5, 3, 2.5, -1.5, -1.5, 0, 2, 3, 3.5}, std::nullopt},
      {"bassBoost", {6, 5, 4, 2.5, 1, 0, 0, 0, 0, 0}, std::nullopt},
      {"trebleBoost", {0, 0, 0, 0, 0, 1, 2.5, 4, 5, 6}, std::nullopt},
      {"vocal", {-2, -1.5, -1, 1, 3.5, 4, 3, 1.5, 0, -1}, std::nullopt},
      {"loudness", {6, 4, 0, 0, -2, 0, -1, -5, 5, 1}, std::nullopt},
  };
  return presets;
}

bool sameName(std::string_view a, std::string_view b) {
  return equalsIgnoringCase(a, b);
}

bool isOffName(std::string_view name) {
  return sameName(name, offName);
}

namespace {

// The rate a parametric preset's curve is reported at: the usual rate of
// sound servers, where every band centre can be shaped.
constexpr double reportedRate = 48000;
// Printed figures are rounded to a tenth of a decibel: a preamp written
// from the curve's maximum may fall short of it by that much.
constexpr double headroomTolerance = 0.1;

// Hundredths of a decibel are all anyone can hear, and more digits would
// only show the filters' arithmetic.
double roundedDB(double gain) {
  const double rounded = std::round(gain * 100) / 100;
  return rounded == 0 ? 0.0 : rounded;  // no "-0"
}

std::string decibels(double gain) {
  std::array<char, 32> text{};
  const int length = std::snprintf(text.data(), text.size(), "%+.1f", gain);
  return length > 0 ? std::string(text.data(), static_cast<std::size_t>(length)) : "0";
}

}  // namespace

std::vector<CLIEQBand> bandsOf(const Preset& preset) {
  std::vector<CLIEQBand> bands;
  bands.reserve(bandCount);
  for (std::size_t i = 0; i < bandCount; ++i) {
    const double gain = preset.parametric
                            ? roundedDB(responseDB(*preset.parametric, bandFrequencies[i],
                                                   reportedRate))
                            : preset.gains[i];
    bands.push_back({bandFrequencies[i], gain});
  }
  return bands;
}

std::optional<std::string> headroomWarning(const Preset& preset) {
  if (!preset.parametric) {
    return std::nullopt;
  }
  const double peak = peakGainDB(*preset.parametric, reportedRate);
  if (peak <= headroomTolerance) {
    return std::nullopt;
  }
  return "The preset \"" + preset.name + "\" can clip: its gain reaches " + decibels(peak) +
         " dB; lower its preamp by " + decibels(peak).substr(1) + " dB";
}

PresetCatalog::PresetCatalog() : presets_(builtInPresets()) {}

PresetCatalog::PresetCatalog(const std::vector<Preset>& userPresets,
                             const std::vector<Preset>& morePresets)
    : presets_(builtInPresets()) {
  presets_.insert(presets_.end(), userPresets.begin(), userPresets.end());
  presets_.insert(presets_.end(), morePresets.begin(), morePresets.end());
}

std::optional<std::string> PresetCatalog::add(const Preset& preset) {
  if (isOffName(preset.name)) {
    return "\"off\" turns EQ off and cannot name a preset";
  }
  if (const Preset* existing = find(preset.name)) {
    return "The name is already taken by the preset \"" + existing->name + "\"";
  }
  presets_.push_back(preset);
  return std::nullopt;
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
