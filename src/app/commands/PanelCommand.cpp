#include "app/commands/PanelCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration PanelCommand::configuration() {
  return {.commandName = "panel",
          .abstract = "Control Kestrune menu panel",
          .subcommands = {command<Toggle>()},
          .defaultSubcommand = command<Toggle>()};
}

CommandConfiguration PanelCommand::Toggle::configuration() {
  return {.abstract = "Toggle the menu panel"};
}
CLICommand PanelCommand::Toggle::request() const {
  return {CLICommand::TogglePanel{}};
}

}  // namespace kestrune
