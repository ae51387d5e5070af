#include "eq/UserPresets.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "eq/TextPosition.h"
#include "json/Decoder.h"
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

Preset decodePreset(const KeyedDecoder& object, const PresetCatalog& taken) {
  Preset preset;
  preset.name = object.decode<std::string>("name");
  if (preset.name.empty()) {
    throw object.member("name").dataCorrupted("A preset needs a name");
  }
  if (isOffName(preset.name)) {
    throw object.member("name").dataCorrupted("\"off\" turns EQ off and cannot name a preset");
  }
  if (const Preset* existing = taken.find(preset.name)) {
    throw object.member("name").dataCorrupted("The name is already taken by the preset \"" +
                                              existing->name + "\"");
  }
  const bool hasGains = object.memberIfPresent("gains").has_value();
  const bool hasBands = object.memberIfPresent("bands").has_value();
  if (hasGains == hasBands) {
    throw object.dataCorrupted("Expected either \"gains\" or \"bands\"");
  }
  preset.gains = hasGains ? decodeGainList(object) : decodeBandList(object);
  return preset;
}

std::vector<Preset> decodePresets(const json::Value& root) {
  const KeyedDecoder top = json::Decoder(root).keyed("Presets");
  const json::UnkeyedDecoder list = top.nestedArray("presets");
  std::vector<Preset> presets;
  PresetCatalog taken;  // grows as presets are read, to catch repeated names
  for (std::size_t i = 0; i < list.size(); ++i) {
    presets.push_back(decodePreset(list.nested(i, "Preset"), taken));
    taken = PresetCatalog(presets);
  }
  return presets;
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw PresetFileError(path, std::string("cannot be read: ") + std::strerror(errno));
  }
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) {
    throw PresetFileError(path, "cannot be read");
  }
  return contents.str();
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
  if (!platform::pathExists(path)) {
    return {};
  }
  return parseUserPresets(readWholeFile(path), path);
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
