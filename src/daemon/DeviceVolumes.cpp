#include "daemon/DeviceVolumes.h"

#include <cmath>
#include <utility>

#include "daemon/Config.h"
#include "eq/TextPosition.h"
#include "json/Decoder.h"
#include "json/Value.h"
#include "platform/ConfigFile.h"
#include "platform/Files.h"

namespace kestrune::daemon {

namespace {

// Volumes closer than this are the same (the server rounds them).
constexpr double sameVolume = 0.5;
constexpr double maxVolume = 200;

std::map<std::string, double> decodeVolumes(const json::KeyedDecoder& top, std::string_view key) {
  std::map<std::string, double> volumes;
  if (!top.contains(key)) {
    return volumes;
  }
  const auto devices = top.nested(key, "DeviceVolumes");
  for (const auto& name : devices.allKeys()) {
    const double volume = devices.decode<double>(name);
    if (!(volume >= 0 && volume <= maxVolume)) {
      throw devices.member(name).dataCorrupted("A volume must be between 0 and 200.");
    }
    volumes.emplace(name, volume);
  }
  return volumes;
}

json::Object encodeVolumes(const std::map<std::string, double>& volumes) {
  json::Object object;
  for (const auto& [name, volume] : volumes) {
    object.set(name, volume);
  }
  return object;
}

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

DeviceVolumes::DeviceVolumes(std::optional<std::string> path, Log log)
    : path_(std::move(path)), log_(std::move(log)) {
  load();
}

bool DeviceVolumes::knows(bool input, const std::string& name) const {
  return (input ? inputs_ : outputs_).count(name) > 0;
}

std::optional<double> DeviceVolumes::volume(bool input, const std::string& name) const {
  const auto& volumes = input ? inputs_ : outputs_;
  const auto found = volumes.find(name);
  return found == volumes.end() ? std::nullopt : std::optional(found->second);
}

void DeviceVolumes::remember(bool input, const std::string& name, double percent) {
  auto& volumes = input ? inputs_ : outputs_;
  const auto found = volumes.find(name);
  if (found != volumes.end() && std::abs(found->second - percent) < sameVolume) {
    return;
  }
  volumes[name] = std::round(percent * 100) / 100;
  save();
}

void DeviceVolumes::load() {
  if (!path_) {
    return;
  }
  try {
    const auto text = platform::readConfigText(*path_);
    if (!text) {
      return;
    }
    json::Value root;
    try {
      root = json::parse(text->text);
    } catch (const json::ParseError& error) {
      throw ConfigFileError(*path_, error.line(), error.column(), error.reason());
    }
    try {
      const auto top = json::Decoder(root).keyed("DeviceVolumes");
      outputs_ = decodeVolumes(top, "output");
      inputs_ = decodeVolumes(top, "input");
    } catch (const json::DecodingError& error) {
      const auto at = eq::positionOf(text->text, eq::offsetOf(text->text, error.codingPath()));
      throw ConfigFileError(*path_, at.line, at.column, error.description());
    }
  } catch (const platform::ConfigReadError& error) {
    log_("ignoring the remembered device volumes: " +
         ConfigFileError(*path_, error.reason()).description());
  } catch (const ConfigFileError& error) {
    outputs_.clear();
    inputs_.clear();
    log_("ignoring the remembered device volumes: " + error.description());
  }
}

void DeviceVolumes::save() {
  if (!path_) {
    return;
  }
  const json::Value root = json::ObjectBuilder()
                               .add("output", encodeVolumes(outputs_))
                               .add("input", encodeVolumes(inputs_))
                               .build();
  try {
    platform::createDirectories(parentOf(*path_));
    platform::writeFileAtomically(*path_, json::writePretty(root) + "\n");
    saveProblem_.clear();
  } catch (const std::exception& error) {
    // Said once, not at every change of a volume.
    if (saveProblem_ != error.what()) {
      saveProblem_ = error.what();
      log_("could not save the device volumes to " + *path_ + ": " + saveProblem_);
    }
  }
}

}  // namespace kestrune::daemon
