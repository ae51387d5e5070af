#pragma once
// Everything that can stop a parse: user mistakes (usage errors) and the
// built-in requests that end the program successfully.

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ArgumentParser/ArgumentDefinition.h"
#include "ArgumentParser/CommandConfiguration.h"
#include "ArgumentParser/Name.h"
#include "ArgumentParser/SplitArguments.h"

namespace argparse {

struct ParserError {
  enum class Kind {
    helpRequested,
    completionScriptRequested,
    completionScriptCustomResponse,
    unsupportedShell,
    unknownOption,
    invalidOption,
    nonAlphanumericShortOption,
    missingValueForOption,
    missingValueOrUnknownCompositeOption,
    unexpectedValueForOption,
    unexpectedExtraValues,
    duplicateExclusiveValues,
    noValue,
    unableToParseValue,
    userValidationError,
    noArguments,
    notParentCommand,
    versionRequested,
    dumpHelpRequested,
    notImplemented,
    invalidState,
    missingSubcommand,
    manualRequested
  };

  Kind kind = Kind::invalidState;
  // The argument, shell, response text, command name or offending value.
  std::optional<std::string> text{};
  std::optional<Name> name{};
  std::optional<Name> compositeName{};  // the combined word holding `name`
  std::optional<InputKey> key{};
  std::vector<std::pair<InputIndex, std::string>> extraValues{};
  std::string typeError{};                 // unableToParseValue: the type's explanation
  std::string previousInput{};             // duplicateExclusiveValues: "flag '--a'" / "position 2"
  std::string duplicateInput{};            // duplicateExclusiveValues
  bool includeHidden = false;              // helpRequested
  std::exception_ptr underlying{};         // userValidationError
  std::shared_ptr<ParserError> wrapped{};  // noArguments

  static ParserError helpRequested(bool includeHidden) {
    ParserError e{Kind::helpRequested};
    e.includeHidden = includeHidden;
    return e;
  }
  static ParserError completionScriptRequested(std::optional<std::string> shell) {
    ParserError e{Kind::completionScriptRequested};
    e.text = std::move(shell);
    return e;
  }
  static ParserError completionScriptCustomResponse(std::string response) {
    ParserError e{Kind::completionScriptCustomResponse};
    e.text = std::move(response);
    return e;
  }
  static ParserError unsupportedShell(std::optional<std::string> shell) {
    ParserError e{Kind::unsupportedShell};
    e.text = std::move(shell);
    return e;
  }
  static ParserError unknownOption(Name option) {
    ParserError e{Kind::unknownOption};
    e.name = std::move(option);
    return e;
  }
  static ParserError invalidOption(std::string argument) {
    ParserError e{Kind::invalidOption};
    e.text = std::move(argument);
    return e;
  }
  static ParserError nonAlphanumericShortOption(char c) {
    ParserError e{Kind::nonAlphanumericShortOption};
    e.text = std::string(1, c);
    return e;
  }
  static ParserError missingValueForOption(Name option) {
    ParserError e{Kind::missingValueForOption};
    e.name = std::move(option);
    return e;
  }
  static ParserError missingValueOrUnknownCompositeOption(Name shortName, Name composite) {
    ParserError e{Kind::missingValueOrUnknownCompositeOption};
    e.name = std::move(shortName);
    e.compositeName = std::move(composite);
    return e;
  }
  static ParserError unexpectedValueForOption(Name option, std::string value) {
    ParserError e{Kind::unexpectedValueForOption};
    e.name = std::move(option);
    e.text = std::move(value);
    return e;
  }
  static ParserError unexpectedExtraValues(std::vector<std::pair<InputIndex, std::string>> values) {
    ParserError e{Kind::unexpectedExtraValues};
    e.extraValues = std::move(values);
    return e;
  }
  static ParserError duplicateExclusiveValues(std::string previous, std::string duplicate) {
    ParserError e{Kind::duplicateExclusiveValues};
    e.previousInput = std::move(previous);
    e.duplicateInput = std::move(duplicate);
    return e;
  }
  static ParserError noValue(InputKey forKey) {
    ParserError e{Kind::noValue};
    e.key = std::move(forKey);
    return e;
  }
  static ParserError unableToParseValue(std::optional<Name> option, std::string value, InputKey key,
                                        std::string typeError) {
    ParserError e{Kind::unableToParseValue};
    e.name = std::move(option);
    e.text = std::move(value);
    e.key = std::move(key);
    e.typeError = std::move(typeError);
    return e;
  }
  static ParserError userValidationError(std::exception_ptr error) {
    ParserError e{Kind::userValidationError};
    e.underlying = std::move(error);
    return e;
  }
  static ParserError noArguments(ParserError error) {
    ParserError e{Kind::noArguments};
    e.wrapped = std::make_shared<ParserError>(std::move(error));
    return e;
  }
  static ParserError notParentCommand(std::string command) {
    ParserError e{Kind::notParentCommand};
    e.text = std::move(command);
    return e;
  }
  static ParserError simple(Kind kind) { return ParserError{kind}; }

  // Help, version, completion script, custom completion, dump or manual: not
  // a failure.
  bool isCleanRequest() const;
};

// A parse error with the command stack (root first) at which it happened.
struct CommandError {
  std::vector<CommandType> commandStack;
  ParserError parserError;
};

}  // namespace argparse
