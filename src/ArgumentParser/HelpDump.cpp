#include "ArgumentParser/HelpDump.h"

#include "ArgumentParser/CommandParser.h"
#include "ArgumentParser/HelpGenerator.h"

namespace argparse {

namespace {

template <typename T>
std::optional<T> nonEmpty(T value) {
  if (value.empty()) {
    return std::nullopt;
  }
  return value;
}

NameInfoV0 nameInfo(const Name& name) {
  switch (name.kind) {
    case Name::Kind::longName:
      return {NameInfoV0::Kind::longName, name.value};
    case Name::Kind::shortName:
      return {NameInfoV0::Kind::shortName, name.value};
    case Name::Kind::longWithSingleDash:
      return {NameInfoV0::Kind::longWithSingleDash, name.value};
  }
  return {};
}

std::string strategyName(ParsingStrategy strategy) {
  switch (strategy) {
    case ParsingStrategy::default_:
      return "default";
    case ParsingStrategy::scanningForValue:
      return "scanningForValue";
    case ParsingStrategy::unconditional:
      return "unconditional";
    case ParsingStrategy::upToNextOption:
      return "upToNextOption";
    case ParsingStrategy::allRemainingInput:
      return "allRemainingInput";
    case ParsingStrategy::postTerminator:
      return "postTerminator";
    case ParsingStrategy::allUnrecognized:
      return "allUnrecognized";
  }
  return "default";
}

std::optional<CompletionKindV0> completionInfo(const CompletionKind& kind) {
  using V0 = CompletionKindV0;
  switch (kind.kind()) {
    case CompletionKind::Kind::default_:
      return std::nullopt;
    case CompletionKind::Kind::list:
      return V0{V0::List{kind.values()}};
    case CompletionKind::Kind::file:
      return V0{V0::File{kind.values()}};
    case CompletionKind::Kind::directory:
      return V0{V0::Directory{}};
    case CompletionKind::Kind::shellCommand:
      return V0{V0::ShellCommand{kind.command()}};
    case CompletionKind::Kind::custom:
      return V0{V0::Custom{}};
    case CompletionKind::Kind::customAsync:
      return V0{V0::CustomAsync{}};
    case CompletionKind::Kind::customDeprecated:
      return V0{V0::CustomDeprecated{}};
  }
  return std::nullopt;
}

ArgumentInfoV0 argumentInfo(const ArgumentDefinition& definition) {
  ArgumentInfoV0 info;
  if (definition.isPositional()) {
    info.kind = ArgumentInfoV0::Kind::positional;
  } else {
    info.kind = definition.isFlag() ? ArgumentInfoV0::Kind::flag : ArgumentInfoV0::Kind::option;
  }
  info.shouldDisplay = definition.visibility == ArgumentVisibility::default_;
  info.sectionTitle = definition.parentTitle;
  info.isOptional = definition.isOptional;
  info.isRepeating = definition.isRepeating;
  info.parsingStrategy = strategyName(definition.parsingStrategy);
  if (!definition.isPositional()) {
    std::vector<NameInfoV0> names;
    for (const auto& name : definition.names) {
      names.push_back(nameInfo(name));
    }
    info.names = nonEmpty(std::move(names));
    if (const Name* preferred = definition.preferredName()) {
      info.preferredName = nameInfo(*preferred);
    }
  }
  info.valueName = nonEmpty(definition.valueName);
  info.defaultValue = definition.defaultValue;
  info.allValues = nonEmpty(definition.allValueStrings);
  if (!definition.isFlag()) {
    info.completionKind = completionInfo(definition.completion);
  }
  info.abstract = nonEmpty(definition.abstract);
  info.discussion = nonEmpty(definition.discussion);
  return info;
}

std::vector<ArgumentInfoV0> argumentInfos(const CommandStack& stack) {
  CommandArguments arguments = argumentsFor(stack);
  std::vector<ArgumentInfoV0> infos;
  for (const auto& definition : arguments.set.definitions()) {
    infos.push_back(argumentInfo(definition));
  }
  if (hasVersion(stack)) {
    infos.push_back(argumentInfo(versionFlagDefinition()));
  }
  auto names = helpNames(stack);
  if (!names.empty()) {
    infos.push_back(argumentInfo(helpFlagDefinition(names)));
  }
  return infos;
}

CommandInfoV0 commandInfo(const CommandStack& stack, bool withHelpCommand) {
  const CommandNode& node = *stack.back();
  const CommandConfiguration& configuration = node.configuration();
  CommandInfoV0 info;
  std::vector<std::string> superCommands;
  for (std::size_t i = 0; i + 1 < stack.size(); ++i) {
    superCommands.push_back(stack[i]->name());
  }
  info.superCommands = nonEmpty(std::move(superCommands));
  info.shouldDisplay = configuration.shouldDisplay;
  info.commandName = node.name();
  info.aliases = nonEmpty(configuration.aliases);
  info.abstract = nonEmpty(configuration.abstract);
  info.discussion = nonEmpty(configuration.discussion);
  if (configuration.defaultSubcommand) {
    info.defaultSubcommand = commandName(configuration.defaultSubcommand);
  }
  std::vector<CommandInfoV0> subcommands;
  const CommandNode* helpNode = nullptr;
  for (const auto& child : node.children) {
    if (child->type == command<HelpCommand>()) {
      helpNode = child.get();
      continue;
    }
    CommandStack childStack = stack;
    childStack.push_back(child.get());
    subcommands.push_back(commandInfo(childStack, false));
  }
  if (withHelpCommand) {
    // The help command answers for the whole tree, wherever the dump starts.
    CommandStack helpStack = stack;
    CommandNode detached;
    if (helpNode == nullptr) {
      detached.type = command<HelpCommand>();
      detached.parent = &node;
      helpNode = &detached;
    }
    helpStack.push_back(helpNode);
    subcommands.push_back(commandInfo(helpStack, false));
  }
  info.subcommands = nonEmpty(std::move(subcommands));
  info.arguments = nonEmpty(argumentInfos(stack));
  return info;
}

}  // namespace

ToolInfoV0 toolInfo(const CommandStack& stack) {
  ToolInfoV0 info;
  if (!stack.empty()) {
    info.command = commandInfo(stack, true);
  }
  return info;
}

std::string dumpHelp(const CommandStack& stack) {
  return encodeDump(toolInfo(stack));
}

}  // namespace argparse
