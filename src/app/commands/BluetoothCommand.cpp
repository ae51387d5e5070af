#include "app/commands/BluetoothCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration BluetoothCommand::configuration() {
  return {.commandName = "bluetooth",
          .abstract = "Bluetooth audio device info",
          .subcommands = {command<List>()},
          .defaultSubcommand = command<List>()};
}

CommandConfiguration BluetoothCommand::List::configuration() {
  return {.abstract = "List connected Bluetooth devices with battery levels"};
}
CLICommand BluetoothCommand::List::request() const {
  return {CLICommand::ListBluetooth{}};
}

}  // namespace kestrune
