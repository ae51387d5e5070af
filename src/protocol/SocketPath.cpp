#include "protocol/SocketPath.h"

#include "platform/Directories.h"

namespace kestrune {

std::string defaultSocketPath() {
  const auto directories = platform::applicationSupportDirectories();
  if (directories.empty()) {
    return "/tmp/kestrune_cli.sock";
  }
  return directories.front() + "/Kestrune/cli.sock";
}

}  // namespace kestrune
