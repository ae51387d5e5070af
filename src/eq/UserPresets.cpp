#include "eq/UserPresets.h"

#include <array>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "eq/TextPosition.h"
#include "json/Decoder.h"
#include "platform/CaseFolding.h"
#include "platform/ConfigFile.h"
#include "platform/Files.h"

namespace kestrune::eq {

namespace {

using json::KeyedDecoder;

std::string withPosition(const std::string& path, std::size_t line, std::size_t column,
                         const std::string& reason) {
  return path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + reason;
}

std::string frequencyList() {
  std::string text;
  for (const double frequency : bandFrequencies) {
    text += (text.empty() ? "" : ", ") + json::numberText(frequency);
  }
  return text;
}

double decodeGain(const json::Decoder& value) {
  const double gain = value.decodeDouble();
  if (!(gain >= minimumGain && gain <= maximumGain)) {
    throw value.dataCorrupted("Expected a gain from " + json::numberText(minimumGain) + " to " +
                              json::numberText(maximumGain) + " dB");
  }
  return gain;
}

BandGains decodeGainList(const KeyedDecoder& preset) {
  const json::UnkeyedDecoder list = preset.nestedArray("gains");
  if (list.size() != bandCount) {
    throw preset.member("gains").dataCorrupted("Expected ten gains (32 Hz to 16 kHz), found " +
                                               std::to_string(list.size()));
  }
  BandGains gains{};
  for (std::size_t i = 0; i < bandCount; ++i) {
    gains[i] = decodeGain(list.at(i));
  }
  return gains;
}

BandGains decodeBandList(const KeyedDecoder& preset) {
  const json::UnkeyedDecoder list = preset.nestedArray("bands");
  BandGains gains{};
  std::array<bool, bandCount> given{};
  for (std::size_t i = 0; i < list.size(); ++i) {
    const KeyedDecoder band = list.nested(i, "Band");
    const double frequency = band.decode<double>("frequency");
    std::size_t index = 0;
    while (index < bandCount && bandFrequencies[index] != frequency) {
      ++index;
    }
    if (index == bandCount) {
      throw band.member("frequency")
          .dataCorrupted("Expected the centre of a band (" + frequencyList() + ")");
    }
    if (given[index]) {
      throw band.member("frequency")
          .dataCorrupted("The band at " + json::numberText(frequency) + " Hz is given twice");
    }
    given[index] = true;
    gains[index] = decodeGain(band.member("gain"));
  }
  return gains;
}

double decodeWithin(const json::Decoder& value, double low, double high, const std::string& what) {
  const double number = value.decodeDouble();
  if (!(number >= low && number <= high)) {
    throw value.dataCorrupted("Expected " + what + " from " + json::numberText(low) + " to " +
                              json::numberText(high));
  }
  return number;
}

ParametricFilter decodeFilter(const KeyedDecoder& object) {
  ParametricFilter filter;
  const std::string type = object.decode<std::string>("type");
  const auto known = filterTypeNamed(type);
  if (!known) {
    throw object.member("type").dataCorrupted(
        "Expected \"PK\" (peak), \"LSC\" (low shelf) or \"HSC\" (high shelf)");
  }
  filter.type = *known;
  filter.frequency =
      decodeWithin(object.member("frequency"), minimumFrequency, maximumFrequency, "a frequency");
  filter.gain = decodeGain(object.member("gain"));
  filter.q = decodeWithin(object.member("q"), minimumQ, maximumQ, "a Q");
  return filter;
}

Parametric decodeParametric(const KeyedDecoder& preset) {
  Parametric parametric;
  if (const auto preamp = preset.memberIfPresent("preamp")) {
    parametric.preamp = decodeWithin(*preamp, minimumPreamp, maximumPreamp, "a preamp in dB");
  }
  const json::UnkeyedDecoder list = preset.nestedArray("filters");
  if (list.size() > maxFilters) {
    throw preset.member("filters").dataCorrupted("Expected at most " +
                                                 std::to_string(maxFilters) + " filters, found " +
                                                 std::to_string(list.size()));
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    parametric.filters.push_back(decodeFilter(list.nested(i, "Filter")));
  }
  return parametric;
}

// The names taken so far, folded, each with the preset that holds it: one
// lookup per preset keeps a long file linear.
class TakenNames {
 public:
  TakenNames() {
    for (const Preset& preset : builtInPresets()) {
      add(preset.name);
    }
  }
  const std::string* find(const std::string& name) const {
    const auto found = names_.find(platform::foldCase(name));
    return found == names_.end() ? nullptr : &found->second;
  }
  void add(const std::string& name) { names_.emplace(platform::foldCase(name), name); }

 private:
  std::unordered_map<std::string, std::string> names_;  // folded -> as written
};

Preset decodePreset(const KeyedDecoder& object, const TakenNames& taken) {
  Preset preset;
  preset.name = object.decode<std::string>("name");
  if (preset.name.empty()) {
    throw object.member("name").dataCorrupted("A preset needs a name");
  }
  if (isOffName(preset.name)) {
    throw object.member("name").dataCorrupted("\"off\" turns EQ off and cannot name a preset");
  }
  if (const std::string* existing = taken.find(preset.name)) {
    throw object.member("name").dataCorrupted("The name is already taken by the preset \"" +
                                              *existing + "\"");
  }
  const bool hasGains = object.memberIfPresent("gains").has_value();
  const bool hasBands = object.memberIfPresent("bands").has_value();
  const bool hasFilters = object.memberIfPresent("filters").has_value();
  if (int{hasGains} + int{hasBands} + int{hasFilters} != 1) {
    throw object.dataCorrupted("Expected one of \"gains\", \"bands\" or \"filters\"");
  }
  if (hasFilters) {
    preset.parametric = decodeParametric(object);
  } else {
    preset.gains = hasGains ? decodeGainList(object) : decodeBandList(object);
  }
  return preset;
}

std::vector<Preset> decodePresets(const json::Value& root) {
  const KeyedDecoder top = json::Decoder(root).keyed("Presets");
  const json::UnkeyedDecoder list = top.nestedArray("presets");
  std::vector<Preset> presets;
  presets.reserve(list.size());
  TakenNames taken;  // grows as presets are read, to catch repeated names
  for (std::size_t i = 0; i < list.size(); ++i) {
    presets.push_back(decodePreset(list.nested(i, "Preset"), taken));
    taken.add(presets.back().name);
  }
  return presets;
}

}  // namespace

PresetFileError::PresetFileError(std::string path, std::size_t line, std::size_t column,
                                 std::string reason)
    : path_(std::move(path)),
      line_(line),
      column_(column),
      reason_(std::move(reason)),
      description_(withPosition(path_, line_, column_, reason_)) {}

PresetFileError::PresetFileError(std::string path, std::string reason)
    : path_(std::move(path)), reason_(std::move(reason)), description_(path_ + ": " + reason_) {}

std::string presetsFilePath(const std::string& configDirectory) {
  return platform::appendingPathComponent(configDirectory, std::string(presetsFileName));
}

std::vector<Preset> parseUserPresets(std::string_view text, const std::string& path) {
  json::Value root;
  try {
    root = json::parse(text);
  } catch (const json::ParseError& error) {
    throw PresetFileError(path, error.line(), error.column(), error.reason());
  }
  try {
    return decodePresets(root);
  } catch (const json::DecodingError& error) {
    const TextPosition at = positionOf(text, offsetOf(text, error.codingPath()));
    throw PresetFileError(path, at.line, at.column, error.debugDescription());
  }
}

std::vector<Preset> readUserPresets(const std::string& path) {
  std::optional<platform::ConfigText> read;
  try {
    read = platform::readConfigText(path);
  } catch (const platform::ConfigReadError& error) {
    throw PresetFileError(path, error.reason());
  }
  return read ? parseUserPresets(read->text, path) : std::vector<Preset>{};
}

CatalogLoad loadPresetCatalog(const std::string& configDirectory) {
  try {
    return CatalogLoad{PresetCatalog(readUserPresets(presetsFilePath(configDirectory))),
                       std::nullopt};
  } catch (const PresetFileError& error) {
    return CatalogLoad{PresetCatalog(), error.description()};
  }
}

}  // namespace kestrune::eq
