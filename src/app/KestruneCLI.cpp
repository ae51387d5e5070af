#include "app/KestruneCLI.h"

#include "app/Manual.h"
#include "app/Version.h"
#include "app/commands/AppCommand.h"
#include "app/commands/BluetoothCommand.h"
#include "app/commands/DeviceCommand.h"
#include "app/commands/MediaCommand.h"
#include "app/commands/MuteCommand.h"
#include "app/commands/PanelCommand.h"
#include "app/commands/ProfileCommand.h"
#include "app/commands/SilentModeCommand.h"
#include "app/commands/StatusCommand.h"
#include "app/commands/VolumeCommand.h"
#include "completions/CompletionsCommand.h"

namespace kestrune {

using argparse::command;

argparse::CommandConfiguration KestruneCLI::configuration() {
  return {.commandName = "kestrune",
          .abstract = "Control Kestrune from the command line",
          .version = versionString,
          .subcommands = {command<VolumeCommand>(), command<MuteCommand>(),
                          command<SilentModeCommand>(), command<DeviceCommand>(),
                          command<AppCommand>(), command<ProfileCommand>(), command<MediaCommand>(),
                          command<BluetoothCommand>(), command<PanelCommand>(),
                          command<StatusCommand>(), command<VersionCommand>(),
                          command<CompletionsCommand<KestruneCLI>>()},
          .manual = manual};
}

}  // namespace kestrune
