#include "ArgumentParser/CompletionsGenerator.h"

#include <stdexcept>

namespace argparse {

std::string_view rawValue(CompletionShell shell) {
  switch (shell) {
    case CompletionShell::zsh:
      return "zsh";
    case CompletionShell::bash:
      return "bash";
    case CompletionShell::fish:
      return "fish";
  }
  // Only a value cast from outside the enumeration gets here.
  throw std::logic_error("Invalid CompletionShell: " + std::to_string(static_cast<int>(shell)));
}

std::optional<CompletionShell> completionShellFromRaw(std::string_view raw) {
  for (CompletionShell shell : allCompletionShells) {
    if (rawValue(shell) == raw)
      return shell;
  }
  return std::nullopt;
}

std::string completionScript(const ToolInfoV0& rootDump, CompletionShell shell) {
  switch (shell) {
    case CompletionShell::zsh:
      return zshCompletionScript(rootDump.command);
    case CompletionShell::bash:
      return bashCompletionScript(rootDump.command);
    case CompletionShell::fish:
      return fishCompletionScript(rootDump.command);
  }
  throw std::logic_error("Invalid CompletionShell: " + std::to_string(static_cast<int>(shell)));
}

namespace completion_support {

namespace {

void collectOfferedCommands(const CommandInfoV0& command, std::vector<std::string> names,
                            std::vector<CommandPath>& commands) {
  names.push_back(command.commandName);
  commands.push_back({&command, names});
  for (const CommandInfoV0* subcommand : offeredSubcommands(command)) {
    collectOfferedCommands(*subcommand, names, commands);
  }
}

}  // namespace

std::vector<CommandPath> offeredCommands(const CommandInfoV0& root) {
  std::vector<CommandPath> commands;
  collectOfferedCommands(root, {}, commands);
  return commands;
}

std::vector<const CommandInfoV0*> offeredSubcommands(const CommandInfoV0& command) {
  std::vector<const CommandInfoV0*> subcommands;
  if (!command.subcommands)
    return subcommands;
  for (const CommandInfoV0& subcommand : *command.subcommands) {
    if (subcommand.shouldDisplay)
      subcommands.push_back(&subcommand);
  }
  return subcommands;
}

std::vector<const ArgumentInfoV0*> offeredArguments(const CommandInfoV0& command) {
  std::vector<const ArgumentInfoV0*> arguments;
  if (!command.arguments)
    return arguments;
  for (const ArgumentInfoV0& argument : *command.arguments) {
    if (argument.shouldDisplay)
      arguments.push_back(&argument);
  }
  return arguments;
}

std::vector<const ArgumentInfoV0*> offeredPositionals(const CommandInfoV0& command) {
  std::vector<const ArgumentInfoV0*> positionals;
  for (const ArgumentInfoV0* argument : offeredArguments(command)) {
    if (isNamed(*argument))
      continue;
    positionals.push_back(argument);
    if (argument->isRepeating)
      break;
  }
  return positionals;
}

std::vector<const ArgumentInfoV0*> allPositionals(const CommandInfoV0& command) {
  std::vector<const ArgumentInfoV0*> positionals;
  if (!command.arguments)
    return positionals;
  for (const ArgumentInfoV0& argument : *command.arguments) {
    if (!isNamed(argument))
      positionals.push_back(&argument);
  }
  return positionals;
}

bool hasRepeatingPositional(const CommandInfoV0& command) {
  for (const ArgumentInfoV0* positional : allPositionals(command)) {
    if (positional->isRepeating)
      return true;
  }
  return false;
}

bool isNamed(const ArgumentInfoV0& argument) {
  return argument.kind != ArgumentInfoV0::Kind::positional;
}

bool takesValue(const ArgumentInfoV0& argument) {
  return argument.kind == ArgumentInfoV0::Kind::option;
}

bool repeatsPerOccurrence(const ArgumentInfoV0& argument) {
  // Options that swallow what follows them are given once.
  return argument.isRepeating &&
         (argument.parsingStrategy == "default" || argument.parsingStrategy == "scanningForValue" ||
          argument.parsingStrategy == "unconditional");
}

std::vector<NameInfoV0> namesOf(const ArgumentInfoV0& argument) {
  if (argument.names && !argument.names->empty())
    return *argument.names;
  if (argument.preferredName)
    return {*argument.preferredName};
  return {};
}

std::string dashedName(const NameInfoV0& name) {
  return (name.kind == NameInfoV0::Kind::longName ? "--" : "-") + name.name;
}

std::string argumentIdentifier(const CommandInfoV0& command, const ArgumentInfoV0& argument) {
  if (isNamed(argument)) {
    if (argument.preferredName)
      return dashedName(*argument.preferredName);
    std::vector<NameInfoV0> names = namesOf(argument);
    return names.empty() ? "---" : dashedName(names.front());
  }
  std::vector<const ArgumentInfoV0*> positionals = allPositionals(command);
  for (std::size_t index = 0; index < positionals.size(); ++index) {
    if (positionals[index] == &argument)
      return "positional@" + std::to_string(index);
  }
  return "---";
}

std::string callbackArguments(const CommandPath& path, const ArgumentInfoV0& argument) {
  std::string arguments = "---completion ";
  for (std::size_t index = 1; index < path.names.size(); ++index)
    arguments += path.names[index] + " ";
  return arguments + "-- " + argumentIdentifier(*path.command, argument);
}

std::string singleQuoteEscaped(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char character : text) {
    if (character == '\'') {
      escaped += "'\\''";
    } else {
      escaped += character;
    }
  }
  return escaped;
}

std::string singleQuoted(std::string_view text) {
  return "'" + singleQuoteEscaped(text) + "'";
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string result;
  for (std::size_t index = 0; index < parts.size(); ++index) {
    if (index > 0)
      result += separator;
    result += parts[index];
  }
  return result;
}

std::string withRootName(std::string_view fragment, std::string_view rootName) {
  constexpr std::string_view placeholder = "%ROOT%";
  std::string result;
  std::size_t start = 0;
  for (std::size_t found = fragment.find(placeholder); found != std::string_view::npos;
       found = fragment.find(placeholder, start)) {
    result += fragment.substr(start, found - start);
    result += rootName;
    start = found + placeholder.size();
  }
  result += fragment.substr(start);
  return result;
}

}  // namespace completion_support
}  // namespace argparse
