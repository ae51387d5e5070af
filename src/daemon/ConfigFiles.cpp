#include "daemon/ConfigFiles.h"

namespace kestrune::daemon {

ConfigFiles::ConfigFiles(const std::string& profilesPath, const std::string& devicesPath)
    : profiles_(
          profilesPath,
          [profilesPath](const std::string& text) { return parseProfiles(text, profilesPath); },
          reader_),
      devices_(
          devicesPath,
          [devicesPath](const std::string& text) { return parseDevicesFile(text, devicesPath); },
          reader_) {}

}  // namespace kestrune::daemon
