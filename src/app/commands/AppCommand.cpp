#include "app/commands/AppCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration AppCommand::configuration() {
  return {.commandName = "app",
          .abstract = "Per-app audio control",
          .subcommands = {command<List>(), command<Volume>(), command<Mute>(), command<Solo>(),
                          command<EQ>(), command<Device>()}};
}

CommandConfiguration AppCommand::List::configuration() {
  return {.abstract = "List active audio apps"};
}
CLICommand AppCommand::List::request() const {
  return {CLICommand::ListApps{}};
}

CommandConfiguration AppCommand::Volume::configuration() {
  return {.abstract = "Get or set an app's volume"};
}
CLICommand AppCommand::Volume::request() const {
  const std::optional<double>& percent = level;
  if (!percent) {
    return {CLICommand::GetAppVolume{app}};
  }
  requireLevelInRange(*percent, 200, kAppVolumeRangeMessage);
  return {CLICommand::SetAppVolume{app, *percent}};
}

CommandConfiguration AppCommand::Mute::configuration() {
  return {.abstract = "Mute, unmute, or toggle an app"};
}
CLICommand AppCommand::Mute::request() const {
  return {CLICommand::SetAppMute{app, muteAction(action)}};
}

CommandConfiguration AppCommand::Solo::configuration() {
  return {.abstract = "Solo an app (mute all others)"};
}
CLICommand AppCommand::Solo::request() const {
  return {CLICommand::SoloApp{app}};
}

CommandConfiguration AppCommand::EQ::configuration() {
  return {.commandName = "eq",
          .abstract = "Get or set an app's EQ preset",
          .subcommands = {command<Get>(), command<Set>()}};
}

CommandConfiguration AppCommand::EQ::Get::configuration() {
  return {.abstract = "Get EQ settings for an app"};
}
CLICommand AppCommand::EQ::Get::request() const {
  return {CLICommand::GetAppEQ{app}};
}

CommandConfiguration AppCommand::EQ::Set::configuration() {
  return {.abstract = "Apply an EQ preset to an app"};
}
CLICommand AppCommand::EQ::Set::request() const {
  return {CLICommand::SetAppEQ{app, preset}};
}

CommandConfiguration AppCommand::Device::configuration() {
  return {.commandName = "device",
          .abstract = "Get or set an app's output device",
          .subcommands = {command<Get>(), command<Set>()}};
}

CommandConfiguration AppCommand::Device::Get::configuration() {
  return {.abstract = "Get app's output device"};
}
CLICommand AppCommand::Device::Get::request() const {
  return {CLICommand::GetAppDevice{app}};
}

CommandConfiguration AppCommand::Device::Set::configuration() {
  return {.abstract = "Route app to a specific device"};
}
CLICommand AppCommand::Device::Set::request() const {
  return {CLICommand::SetAppDevice{app, deviceUID}};
}

}  // namespace kestrune
