#include "app/commands/SilentModeCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration SilentModeCommand::configuration() {
  return {.commandName = "silent-mode",
          .abstract = "Get or toggle silent mode",
          .subcommands = {command<Get>(), command<Toggle>()},
          .defaultSubcommand = command<Get>()};
}

CommandConfiguration SilentModeCommand::Get::configuration() {
  return {.abstract = "Get silent mode state"};
}
CLICommand SilentModeCommand::Get::request() const {
  return {CLICommand::GetSilentMode{}};
}

CommandConfiguration SilentModeCommand::Toggle::configuration() {
  return {.abstract = "Toggle silent mode"};
}
CLICommand SilentModeCommand::Toggle::request() const {
  return {CLICommand::ToggleSilentMode{}};
}

}  // namespace kestrune
