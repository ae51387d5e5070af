#pragma once
// The configuration files the audio requests use (profiles.json and
// devices.json), each decoded again only when it changed.

#include <string>
#include <vector>

#include "daemon/Config.h"
#include "daemon/WatchedFile.h"

namespace kestrune::daemon {

class ConfigFiles {
 public:
  ConfigFiles(const std::string& profilesPath, const std::string& devicesPath);

  // Throw ConfigFileError, as readProfiles and readDevicesFile do.
  std::vector<Profile> profiles() { return profiles_.current(); }
  DevicesFile devices() { return devices_.current(); }

 private:
  FileReader reader_;
  WatchedFile<std::vector<Profile>> profiles_;
  WatchedFile<DevicesFile> devices_;
};

}  // namespace kestrune::daemon
