#include "ArgumentParser/Messages.h"

#include <limits>

#include "ArgumentParser/CommandParser.h"
#include "ArgumentParser/Completion.h"
#include "ArgumentParser/HelpDump.h"
#include "ArgumentParser/HelpGenerator.h"
#include "ArgumentParser/ManPageGenerator.h"
#include "ArgumentParser/Naming.h"

namespace argparse {

namespace {

constexpr std::size_t kMaxSuggestionDistance = 4;  // exclusive

using Kind = ParserError::Kind;

const ArgumentDefinition* definitionNamed(const ArgumentSet& set, const Name& name) {
  auto index = set.find(name);
  return index ? &set.definitions()[*index] : nullptr;
}

const ArgumentDefinition* definitionForKey(const ArgumentSet& set, const InputKey& key) {
  for (const auto& definition : set.definitions()) {
    if (definition.key == key) {
      return &definition;
    }
  }
  return nullptr;
}

std::string supportedShellsLine() {
  std::string line;
  for (CompletionShell shell : allCompletionShells) {
    line += (line.empty() ? "" : " ") + std::string(rawValue(shell));
  }
  return line;
}

std::string unknownOptionMessage(const ArgumentSet& set, const Name& name) {
  std::string message = "Unknown option '" + name.synopsis() + "'";
  if (name.isShort()) {
    return message;
  }
  const std::string written = name.synopsis();
  const Name* best = nullptr;
  std::size_t bestDistance = std::numeric_limits<std::size_t>::max();
  for (const auto& definition : set.definitions()) {
    if (definition.visibility == ArgumentVisibility::private_) {
      continue;
    }
    for (const auto& candidate : definition.names) {
      if (candidate.isShort()) {
        continue;
      }
      std::size_t distance = editDistance(written, candidate.synopsis());
      if (distance < kMaxSuggestionDistance && distance < bestDistance) {
        best = &candidate;
        bestDistance = distance;
      }
    }
  }
  if (best != nullptr) {
    message += ". Did you mean '" + best->synopsis() + "'?";
  }
  return message;
}

std::string missingValueMessage(const ArgumentSet& set, const Name& name) {
  const ArgumentDefinition* definition = definitionNamed(set, name);
  if (definition == nullptr || definition->valueName.empty()) {
    return "Missing value for '" + name.synopsis() + "'";
  }
  return "Missing value for '" + name.synopsis() + " <" + definition->valueName + ">'";
}

std::string quotedList(const std::vector<Name>& names) {
  std::string text;
  for (const auto& name : names) {
    text += (text.empty() ? "'" : ", '") + name.synopsis() + "'";
  }
  return text;
}

std::string noValueMessage(const ArgumentSet& set, const InputKey& key) {
  const ArgumentDefinition* definition = definitionForKey(set, key);
  if (definition == nullptr) {
    return "No value set for non-argument var " + key.name +
           ". Replace with a static variable, or let constant.";
  }
  if (definition->isFlag() && definition->isComposite) {
    return "Missing one of: " + quotedList(definition->names);
  }
  return "Missing expected argument '" + definition->synopsisForHelp() + "'";
}

std::string possibleValues(const std::vector<std::string>& values) {
  if (values.empty()) {
    return {};
  }
  if (values.size() < 6) {
    std::string list;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) {
        list += i + 1 == values.size() ? " or " : ", ";
      }
      list += values[i];
    }
    return ". Please provide one of " + list;
  }
  std::string list = ". Please provide one of the following:";
  for (const auto& value : values) {
    list += "\n  - " + value;
  }
  return list;
}

std::string unableToParseMessage(const ArgumentSet& set, const ParserError& error) {
  const ArgumentDefinition* definition = error.key ? definitionForKey(set, *error.key) : nullptr;
  std::string message = "The value '" + error.text.value_or("") + "' is invalid";
  if (error.name) {
    message += " for '" + error.name->synopsis() + "'";
  } else if (definition != nullptr && definition->isPositional()) {
    message += " for '<" + definition->valueName + ">'";
  } else {
    message += ".";
  }
  if (!error.typeError.empty()) {
    return message + ": " + error.typeError;
  }
  return message + (definition ? possibleValues(definition->allValueStrings) : std::string());
}

std::string extraValuesMessage(const ParserError& error) {
  if (error.extraValues.size() == 1) {
    return "Unexpected argument '" + error.extraValues.front().second + "'";
  }
  std::string list;
  for (const auto& [index, value] : error.extraValues) {
    list += (list.empty() ? "'" : ", '") + value + "'";
  }
  return std::to_string(error.extraValues.size()) + " unexpected arguments: " + list;
}

std::string describe(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const ValidationError& e) {
    return e.message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (const CleanExit& e) {
    return e.description();
  } catch (const ExitCode& e) {
    return "ExitCode(rawValue: " + std::to_string(e.rawValue) + ")";
  } catch (...) {
    return "Unknown error.";
  }
}

// The argument that a missing or malformed value belongs to, for the Help line.
const ArgumentDefinition* concernedArgument(const ArgumentSet& set, const ParserError& error) {
  switch (error.kind) {
    case Kind::missingValueForOption:
      return error.name ? definitionNamed(set, *error.name) : nullptr;
    case Kind::noValue:
    case Kind::unableToParseValue:
      return error.key ? definitionForKey(set, *error.key) : nullptr;
    default:
      return nullptr;
  }
}

MessageInfo helpInfo(std::string text) {
  return MessageInfo{MessageInfo::Kind::help, std::move(text), {}, {}, 0};
}

MessageInfo otherInfo(std::string message, int status) {
  return MessageInfo{MessageInfo::Kind::other, std::move(message), {}, {}, status};
}

std::string usagePart(const CommandStack& stack) {
  std::string usage = usageString(stack);
  std::string indented;
  for (char c : usage) {
    indented += c;
    if (c == '\n') {
      indented += "       ";
    }
  }
  return "Usage: " + indented + "\n  See '" + commandPath(stack) + " " + preferredHelpName(stack) +
         "' for more information.";
}

MessageInfo validationInfo(const CommandStack& stack, std::string message, const ParserError* error,
                           bool noArguments) {
  MessageInfo info{MessageInfo::Kind::validation, std::move(message), {}, {}, 64};
  if (error != nullptr) {
    CommandArguments arguments = argumentsFor(stack);
    const ArgumentDefinition* argument = concernedArgument(arguments.set, *error);
    if (argument != nullptr && !argument->abstract.empty()) {
      info.helpLine = "Help:  " + argument->synopsisForHelp() + "  " + argument->abstract;
    }
  }
  info.usagePart = noArguments ? "\n" + helpMessage(stack) : usagePart(stack);
  return info;
}

MessageInfo infoForThrown(const CommandTree& tree, const std::exception_ptr& error,
                          const CommandStack& stack, bool noArguments);

MessageInfo infoForParserError(const CommandTree& tree, const CommandStack& stack,
                               const ParserError& error, bool noArguments) {
  switch (error.kind) {
    case Kind::helpRequested:
      return helpInfo(helpMessage(stack, error.includeHidden));
    case Kind::versionRequested:
      return helpInfo(versionText(stack));
    case Kind::dumpHelpRequested:
      return helpInfo(dumpHelp(stack));
    case Kind::manualRequested:
      return helpInfo(manualPage(tree));
    case Kind::completionScriptCustomResponse:
      return helpInfo(error.text.value_or(""));
    case Kind::completionScriptRequested: {
      auto shell = completionShellFromRaw(error.text.value_or(""));
      if (!shell) {
        return infoForParserError(tree, stack, ParserError::unsupportedShell(error.text),
                                  noArguments);
      }
      return helpInfo(completionScript(tree, *shell));
    }
    case Kind::noArguments:
      return infoForParserError(tree, stack, *error.wrapped, true);
    case Kind::userValidationError:
      return infoForThrown(tree, error.underlying, stack, noArguments);
    default:
      return validationInfo(stack, errorMessage(stack, error), &error, noArguments);
  }
}

MessageInfo infoForThrown(const CommandTree& tree, const std::exception_ptr& error,
                          const CommandStack& stack, bool noArguments) {
  try {
    std::rethrow_exception(error);
  } catch (const CommandError& e) {
    return infoForParserError(tree, tree.stackAlong(e.commandStack), e.parserError, noArguments);
  } catch (const ParserError& e) {
    return infoForParserError(tree, stack, e, noArguments);
  } catch (const ValidationError& e) {
    return validationInfo(stack, e.message(), nullptr, noArguments);
  } catch (const CleanExit& e) {
    switch (e.kind()) {
      case CleanExit::Kind::helpRequest:
        return helpInfo(helpMessage(e.command() ? tree.stackFor(e.command()) : stack));
      case CleanExit::Kind::message:
        return helpInfo(e.text());
      case CleanExit::Kind::dumpRequest:
        return helpInfo(dumpHelp(e.command() ? tree.stackFor(e.command()) : stack));
    }
  } catch (const ExitCode& e) {
    return otherInfo({}, e.rawValue);
  } catch (...) {
  }
  return otherInfo(describe(error), 1);
}

}  // namespace

std::string errorMessage(const CommandStack& stack, const ParserError& error) {
  auto needsSet = [&] { return argumentsFor(stack); };
  switch (error.kind) {
    case Kind::unsupportedShell:
      return (error.text ? "Can't generate completion scripts for '" + *error.text + "'."
                         : std::string("Can't autodetect a supported shell.")) +
             "\nPlease use --generate-completion-script=<shell> with one of:\n    " +
             supportedShellsLine();
    case Kind::notImplemented:
      return "Internal error. Parsing command-line arguments hit unimplemented code path.";
    case Kind::invalidState:
      return "Internal error. Invalid state while parsing command-line arguments.";
    case Kind::unknownOption:
      return unknownOptionMessage(needsSet().set, *error.name);
    case Kind::invalidOption:
      return "Invalid option: " + error.text.value_or("");
    case Kind::nonAlphanumericShortOption:
      return "Invalid option: -" + error.text.value_or("");
    case Kind::missingValueForOption:
      return missingValueMessage(needsSet().set, *error.name);
    case Kind::missingValueOrUnknownCompositeOption: {
      CommandArguments arguments = needsSet();
      return unknownOptionMessage(arguments.set, *error.compositeName) +
             "\n   or: " + missingValueMessage(arguments.set, *error.name) + " in '" +
             error.compositeName->synopsis() + "'";
    }
    case Kind::unexpectedValueForOption:
      return "The option '" + error.name->synopsis() + "' does not take any value, but '" +
             error.text.value_or("") + "' was specified.";
    case Kind::unexpectedExtraValues:
      return extraValuesMessage(error);
    case Kind::duplicateExclusiveValues:
      return "Value to be set with " + error.duplicateInput + " had already been set with " +
             error.previousInput;
    case Kind::noValue:
      return noValueMessage(needsSet().set, *error.key);
    case Kind::unableToParseValue:
      return unableToParseMessage(needsSet().set, error);
    case Kind::userValidationError:
      return error.underlying ? describe(error.underlying) : std::string();
    case Kind::noArguments:
      return error.wrapped ? errorMessage(stack, *error.wrapped) : std::string();
    case Kind::notParentCommand:
      return "Command '" + error.text.value_or("") + "' is not a parent of the current command.";
    case Kind::missingSubcommand:
      return "Missing required subcommand.";
    case Kind::helpRequested:
    case Kind::completionScriptRequested:
    case Kind::completionScriptCustomResponse:
    case Kind::versionRequested:
    case Kind::dumpHelpRequested:
    case Kind::manualRequested:
      return {};
  }
  return {};
}

bool ParserError::isCleanRequest() const {
  switch (kind) {
    case Kind::helpRequested:
    case Kind::completionScriptRequested:
    case Kind::completionScriptCustomResponse:
    case Kind::versionRequested:
    case Kind::dumpHelpRequested:
    case Kind::manualRequested:
      return true;
    default:
      return false;
  }
}

std::string MessageInfo::fullText() const {
  switch (kind) {
    case Kind::help:
      return message;
    case Kind::validation: {
      std::string text;
      if (!message.empty()) {
        text += "Error: " + message + "\n";
      }
      if (!helpLine.empty()) {
        text += helpLine + "\n";
      }
      return text + usagePart;
    }
    case Kind::other:
      return message.empty() ? std::string() : "Error: " + message;
  }
  return {};
}

MessageInfo messageInfo(const CommandTree& tree, const std::exception_ptr& error,
                        const CommandStack& stack) {
  if (!error) {
    return helpInfo({});
  }
  return infoForThrown(tree, error, stack, false);
}

std::string versionText(const CommandStack& stack) {
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    std::string version = (*it)->configuration().version.text();
    if (!version.empty()) {
      return version;
    }
  }
  return "Unspecified version";
}

}  // namespace argparse
