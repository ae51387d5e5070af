#include "app/commands/StatusCommand.h"

namespace kestrune {

argparse::CommandConfiguration StatusCommand::configuration() {
  return {.commandName = "status", .abstract = "Show Kestrune status"};
}
CLICommand StatusCommand::request() const {
  return {CLICommand::GetStatus{}};
}

argparse::CommandConfiguration VersionCommand::configuration() {
  return {.commandName = "version", .abstract = "Show Kestrune version"};
}
CLICommand VersionCommand::request() const {
  return {CLICommand::GetVersion{}};
}

}  // namespace kestrune
