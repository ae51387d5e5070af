// kestruned's devices.json: any bytes are either the devices' settings or
// one error naming the file and a place in it.

#include <string>

#include "FuzzSupport.h"
#include "daemon/Config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = "devices.json";
  try {
    static_cast<void>(kestrune::daemon::parseDevicesFile(fuzzing::asText(data, size), path));
  } catch (const kestrune::daemon::ConfigFileError& error) {
    fuzzing::require(error.description().rfind(path + ":", 0) == 0, "the error names no file");
  }
  return 0;
}
