#include "app/commands/VolumeCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration VolumeCommand::configuration() {
  return {.commandName = "volume",
          .abstract = "Get or set system output volume",
          .subcommands = {command<Get>(), command<Set>(), command<Up>(), command<Down>()},
          .defaultSubcommand = command<Get>()};
}

CommandConfiguration VolumeCommand::Get::configuration() {
  return {.abstract = "Get current volume"};
}
CLICommand VolumeCommand::Get::request() const {
  return {CLICommand::GetVolume{}};
}

CommandConfiguration VolumeCommand::Set::configuration() {
  return {.abstract = "Set volume (0-100)"};
}
CLICommand VolumeCommand::Set::request() const {
  requireLevelInRange(level, 100, kSystemVolumeRangeMessage);
  return {CLICommand::SetVolume{level}};
}

CommandConfiguration VolumeCommand::Up::configuration() {
  return {.abstract = "Increase volume one step"};
}
CLICommand VolumeCommand::Up::request() const {
  return {CLICommand::StepVolume{VolumeDirection::up}};
}

CommandConfiguration VolumeCommand::Down::configuration() {
  return {.abstract = "Decrease volume one step"};
}
CLICommand VolumeCommand::Down::request() const {
  return {CLICommand::StepVolume{VolumeDirection::down}};
}

}  // namespace kestrune
