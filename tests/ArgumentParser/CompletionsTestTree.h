#pragma once
// A help dump shaped like a small program's tree, built by hand, for the
// completion script tests.

#include <optional>
#include <string>
#include <vector>

#include "ArgumentParser/ToolInfo.h"

namespace argparse::testing {

inline NameInfoV0 longName(std::string name) {
  return {NameInfoV0::Kind::longName, std::move(name)};
}
inline NameInfoV0 shortName(std::string name) {
  return {NameInfoV0::Kind::shortName, std::move(name)};
}

inline ArgumentInfoV0 flag(std::vector<NameInfoV0> names, std::string abstract) {
  ArgumentInfoV0 argument;
  argument.kind = ArgumentInfoV0::Kind::flag;
  argument.isOptional = true;
  argument.preferredName = names.back();
  argument.names = std::move(names);
  argument.abstract = std::move(abstract);
  return argument;
}

inline ArgumentInfoV0 option(std::string name, std::string abstract,
                             std::optional<CompletionKindV0> completion = std::nullopt) {
  ArgumentInfoV0 argument;
  argument.kind = ArgumentInfoV0::Kind::option;
  argument.isOptional = true;
  argument.names = std::vector<NameInfoV0>{longName(name)};
  argument.preferredName = longName(name);
  argument.valueName = name;
  argument.abstract = std::move(abstract);
  argument.completionKind = std::move(completion);
  return argument;
}

inline ArgumentInfoV0 positional(std::string valueName, std::string abstract,
                                 std::optional<CompletionKindV0> completion = std::nullopt) {
  ArgumentInfoV0 argument;
  argument.valueName = std::move(valueName);
  argument.abstract = std::move(abstract);
  argument.completionKind = std::move(completion);
  return argument;
}

inline CompletionKindV0 listOf(std::vector<std::string> values) {
  return {CompletionKindV0::List{std::move(values)}};
}

inline ArgumentInfoV0 helpFlag() {
  return flag({shortName("h"), longName("help")}, "Show help information.");
}

inline std::vector<ArgumentInfoV0> withGlobalOptions(std::vector<ArgumentInfoV0> arguments) {
  arguments.push_back(flag({longName("json")}, "Output as JSON"));
  arguments.push_back(option("socket", "Custom socket path"));
  arguments.push_back(helpFlag());
  return arguments;
}

inline CommandInfoV0 command(std::string name, std::string abstract,
                             std::vector<ArgumentInfoV0> arguments,
                             std::vector<CommandInfoV0> subcommands = {}) {
  CommandInfoV0 info;
  info.commandName = std::move(name);
  info.abstract = std::move(abstract);
  info.arguments = std::move(arguments);
  if (!subcommands.empty())
    info.subcommands = std::move(subcommands);
  return info;
}

// kestrune
//   volume (default get): get, set <level>
//   silent-mode: toggle
//   device: current <direction>
//   app: mute <app-name> <action>, hidden debug
//   help [<subcommands> ...]
inline ToolInfoV0 sampleDump() {
  CommandInfoV0 volume =
      command("volume", "Get or set system volume", {helpFlag()},
              {command("get", "Get current volume", withGlobalOptions({})),
               command("set", "Set volume level",
                       withGlobalOptions({positional("level", "Volume level (0-100)")}))});
  volume.defaultSubcommand = "get";

  CommandInfoV0 silentMode =
      command("silent-mode", "Silent mode: it's \"quiet\"", {helpFlag()},
              {command("toggle", "Toggle silent mode", withGlobalOptions({}))});

  CommandInfoV0 device = command(
      "device", "Manage audio devices", {helpFlag()},
      {command("current", "Show the current device",
               withGlobalOptions(
                   {positional("direction", "Device direction", listOf({"input", "output"}))}))});

  ArgumentInfoV0 appName =
      positional("app-name", "Application name", CompletionKindV0{CompletionKindV0::Custom{}});
  CommandInfoV0 hidden = command("debug", "Hidden command", {helpFlag()});
  hidden.shouldDisplay = false;
  CommandInfoV0 app =
      command("app", "Per-app control: volume [0-100]", {helpFlag()},
              {command("mute", "Mute an app",
                       withGlobalOptions({appName, positional("action", "Mute action",
                                                              listOf({"on", "off", "toggle"}))})),
               hidden});

  ArgumentInfoV0 subcommands = positional("subcommands", "");
  subcommands.isOptional = true;
  subcommands.isRepeating = true;
  CommandInfoV0 help = command("help", "Show subcommand help information.", {subcommands});

  ArgumentInfoV0 version = flag({longName("version")}, "Show the version.");
  ArgumentInfoV0 secret = option("generate-completion-script", "");
  secret.shouldDisplay = false;
  CommandInfoV0 root = command("kestrune", "Control the application", {version, helpFlag(), secret},
                               {volume, silentMode, device, app, help});
  return {0, root};
}

}  // namespace argparse::testing
