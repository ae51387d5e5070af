// kestruned's profiles.json: any bytes are either profiles whose volumes
// lie in range, or one error naming the file and a place in it.

#include <string>

#include "FuzzSupport.h"
#include "daemon/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = "profiles.json";
  try {
    const auto profiles = kestrune::daemon::parseProfiles(fuzzing::asText(data, size), path);
    for (const auto& profile : profiles) {
      for (const auto& entry : profile.entries) {
        fuzzing::require(!entry.volume || (*entry.volume >= 0 && *entry.volume <= 200),
                         "a volume out of range was accepted");
      }
    }
  } catch (const kestrune::daemon::ConfigFileError& error) {
    fuzzing::require(error.description().rfind(path + ":", 0) == 0, "the error names no file");
  }
  return 0;
}
