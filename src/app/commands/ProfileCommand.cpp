#include "app/commands/ProfileCommand.h"

namespace kestrune {

using argparse::command;
using argparse::CommandConfiguration;

CommandConfiguration ProfileCommand::configuration() {
  return {.commandName = "profile",
          .abstract = "Manage audio routing profiles",
          .subcommands = {command<List>(), command<Apply>()}};
}

CommandConfiguration ProfileCommand::List::configuration() {
  return {.abstract = "List saved profiles"};
}
CLICommand ProfileCommand::List::request() const {
  return {CLICommand::ListProfiles{}};
}

CommandConfiguration ProfileCommand::Apply::configuration() {
  return {.abstract = "Apply a saved profile"};
}
CLICommand ProfileCommand::Apply::request() const {
  return {CLICommand::ApplyProfile{name}};
}

}  // namespace kestrune
