#include "app/commands/DeviceCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration DeviceCommand::configuration() {
  return {.commandName = "device",
          .abstract = "Manage audio devices",
          .subcommands = {command<List>(), command<Current>(), command<Set>(), command<Cycle>()}};
}

CommandConfiguration DeviceCommand::List::configuration() {
  return {.abstract = "List available audio devices"};
}
CLICommand DeviceCommand::List::request() const {
  CLICommand::ListDevices list;
  if (direction->has_value()) {
    list.direction = audioDirection(**direction);
  }
  return {list};
}

CommandConfiguration DeviceCommand::Current::configuration() {
  return {.abstract = "Show current default device"};
}
CLICommand DeviceCommand::Current::request() const {
  return {CLICommand::GetCurrentDevice{audioDirection(direction)}};
}

CommandConfiguration DeviceCommand::Set::configuration() {
  return {.abstract = "Set default device by UID"};
}
CLICommand DeviceCommand::Set::request() const {
  return {CLICommand::SetDevice{uid, audioDirection(direction)}};
}

CommandConfiguration DeviceCommand::Cycle::configuration() {
  return {.abstract = "Cycle to next priority device"};
}
CLICommand DeviceCommand::Cycle::request() const {
  return {CLICommand::CycleDevice{audioDirection(direction)}};
}

}  // namespace kestrune
