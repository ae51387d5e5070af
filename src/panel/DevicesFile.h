#pragma once
// devices.json as the panel edits it: read afresh before each change, only
// the panel's own members changed, every other member kept as found, and
// written whole through a temporary file renamed over the old one, so that
// the daemon never reads half a file. A file that does not parse is never
// written over.

#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "json/Value.h"

namespace kestrune::panel {

// The configuration directory the daemon reads: `override` when given
// (its --config), else $XDG_CONFIG_HOME/kestrune, else ~/.config/kestrune.
QString configDirectory(const QString& override);

// Why devices.json was left alone: a fixed sentence saying where.
struct DevicesFileProblem {
  QString sentence;
};

// The panel's members of devices.json, as the daemon reads them.
struct DeviceSettings {
  std::vector<std::string> output;
  bool switchOnConnect = false;
  std::optional<int> newDeviceVolume;
  std::optional<int> maxVolume;
  // Device UID to the preset every sound played there goes through.
  std::map<std::string, std::string> correction;
};

class DevicesFile {
 public:
  explicit DevicesFile(QString directory);

  const QString& path() const { return path_; }
  // The whole file (an empty object when there is none).
  std::variant<json::Object, DevicesFileProblem> read() const;
  // Reads the file, lets `change` edit it and writes it back whole.
  std::optional<DevicesFileProblem> update(const std::function<void(json::Object&)>& change) const;

 private:
  std::optional<DevicesFileProblem> write(const json::Object& object) const;

  QString directory_;
  QString path_;
};

DeviceSettings deviceSettings(const json::Object& object);
// Sets the member, or removes it when absent (the daemon's default).
void setOptionalPercent(json::Object& object, const std::string& key, std::optional<int> value);
// Sets the device's correction, or removes it (and an emptied "correction").
// The other devices' entries are kept as found.
void setCorrection(json::Object& object, const std::string& uid,
                   const std::optional<std::string>& preset);

}  // namespace kestrune::panel
