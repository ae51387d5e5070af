#include "app/commands/MuteCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration MuteCommand::configuration() {
  return {.commandName = "mute",
          .abstract = "Get or set microphone mute state",
          .subcommands = {command<Get>(), command<On>(), command<Off>(), command<Toggle>()},
          .defaultSubcommand = command<Get>()};
}

CommandConfiguration MuteCommand::Get::configuration() {
  return {.abstract = "Get current mute state"};
}
CLICommand MuteCommand::Get::request() const {
  return {CLICommand::GetMuteState{}};
}

CommandConfiguration MuteCommand::On::configuration() {
  return {.abstract = "Mute microphone"};
}
CLICommand MuteCommand::On::request() const {
  return {CLICommand::SetMute{MuteAction::on}};
}

CommandConfiguration MuteCommand::Off::configuration() {
  return {.abstract = "Unmute microphone"};
}
CLICommand MuteCommand::Off::request() const {
  return {CLICommand::SetMute{MuteAction::off}};
}

CommandConfiguration MuteCommand::Toggle::configuration() {
  return {.abstract = "Toggle mute state"};
}
CLICommand MuteCommand::Toggle::request() const {
  return {CLICommand::SetMute{MuteAction::toggle}};
}

}  // namespace kestrune
