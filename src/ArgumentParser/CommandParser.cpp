#include "ArgumentParser/CommandParser.h"

#include <algorithm>
#include <map>

#include "ArgumentParser/Completion.h"

namespace argparse {

namespace {

// Made where they are needed, so that start-up builds none of them.
Name dumpHelpFlag() {
  return Name::longName("experimental-dump-help");
}
Name versionFlag() {
  return Name::longName("version");
}
Name completionScriptOption() {
  return Name::longName("generate-completion-script");
}

std::string describeFlagInput(const Name& name) {
  return "flag '" + name.synopsis() + "'";
}

// Fills the arguments of one level from the split command line.
class LevelParser {
 public:
  LevelParser(const ArgumentSet& set, SplitArguments& split, const CommandNode* node)
      : set_(set), split_(split), node_(node) {}

  void parse() {
    parseNamed();
    parsePositionals();
    checkRequired();
  }

 private:
  struct FlagRecord {
    std::size_t which = 0;
    Name name;
  };

  void parseNamed() {
    for (std::size_t i = 0; i < split_.size(); ++i) {
      const SplitElement& element = split_[i];
      if (element.kind == SplitElement::Kind::terminator) {
        break;
      }
      if (split_.isUsed(i) || !element.isOption()) {
        continue;
      }
      auto found = set_.find(element.option.name);
      if (!found) {
        continue;  // perhaps another level's, or left for the leftover check
      }
      const ArgumentDefinition& definition = set_.definitions()[*found];
      if (definition.isFlag()) {
        applyFlag(definition, i);
      } else {
        applyOption(definition, i);
      }
    }
  }

  void applyFlag(const ArgumentDefinition& definition, std::size_t position) {
    const ParsedArgument& option = split_[position].option;
    if (option.value) {
      throw ParserError::unexpectedValueForOption(option.name, *option.value);
    }
    split_.markUsed(position);
    auto nameIndex = static_cast<std::size_t>(
        std::find(definition.names.begin(), definition.names.end(), option.name) -
        definition.names.begin());
    std::size_t which = definition.flagValues.at(nameIndex);
    auto previous = flags_.find(definition.key);
    if (previous != flags_.end() && previous->second.which != which) {
      switch (definition.exclusivity) {
        case FlagExclusivity::exclusive:
          throw ParserError::duplicateExclusiveValues(describeFlagInput(previous->second.name),
                                                      describeFlagInput(option.name));
        case FlagExclusivity::chooseFirst:
          return;
        case FlagExclusivity::chooseLast:
          break;
      }
    }
    definition.target->setFlag(which);
    flags_[definition.key] = FlagRecord{which, option.name};
  }

  void applyOption(const ArgumentDefinition& definition, std::size_t position) {
    const SplitElement& element = split_[position];
    const Name name = element.option.name;
    if (!element.index.isComplete()) {
      applyCombinedOption(definition, position);
      return;
    }
    std::vector<std::string> values;
    if (element.option.value) {
      values.push_back(*element.option.value);
    }
    std::size_t inputIndex = element.index.inputIndex;
    split_.markUsed(position);
    switch (definition.parsingStrategy) {
      case ParsingStrategy::upToNextOption:
        takeValuesUpToNextOption(inputIndex, values);
        break;
      case ParsingStrategy::allRemainingInput:
        takeAllRemainingInput(inputIndex, values);
        break;
      default:
        if (values.empty()) {
          if (auto value = nextValue(inputIndex, definition.parsingStrategy)) {
            values.push_back(*value);
          }
        }
        break;
    }
    if (values.empty() && definition.parsingStrategy != ParsingStrategy::allRemainingInput) {
      throw ParserError::missingValueForOption(name);
    }
    for (const auto& value : values) {
      assign(definition, name, value);
    }
  }

  // A short option inside a word such as -vd: it takes the rest of the word
  // when it allows joined values, else the next argument when it is last.
  void applyCombinedOption(const ArgumentDefinition& definition, std::size_t position) {
    const SplitElement& element = split_[position];
    const Name name = element.option.name;
    const std::string& word = split_.originalInput()[element.index.inputIndex];
    const std::size_t letters = word.size() - 1;
    const std::size_t subIndex = *element.index.subIndex;
    const Name composite = Name::longWithSingleDash(word.substr(1));
    const std::size_t inputIndex = element.index.inputIndex;
    auto declared = std::find(definition.names.begin(), definition.names.end(), name);
    if (subIndex == 0 && declared != definition.names.end() && declared->allowingJoined) {
      split_.markInputUsed(inputIndex);
      assign(definition, name, word.substr(2));
      return;
    }
    if (subIndex + 1 != letters) {
      throw ParserError::missingValueOrUnknownCompositeOption(name, composite);
    }
    auto value = nextValue(inputIndex, definition.parsingStrategy);
    if (!value) {
      throw ParserError::missingValueOrUnknownCompositeOption(name, composite);
    }
    split_.markUsed(position);
    assign(definition, name, *value);
  }

  // The value for a single-value strategy, consumed; nothing when none fits.
  std::optional<std::string> nextValue(std::size_t afterInput, ParsingStrategy strategy) {
    if (strategy == ParsingStrategy::unconditional) {
      std::size_t next = afterInput + 1;
      if (next >= split_.originalInput().size() || inputFullyUsed(next)) {
        return std::nullopt;
      }
      split_.markInputUsed(next);
      return split_.originalInput()[next];
    }
    for (std::size_t i = 0; i < split_.size(); ++i) {
      const SplitElement& element = split_[i];
      if (split_.isUsed(i) || element.index.inputIndex <= afterInput) {
        continue;
      }
      if (element.isValue() && !element.afterTerminator) {
        split_.markUsed(i);
        return element.value;
      }
      if (strategy != ParsingStrategy::scanningForValue || !element.isOption()) {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  bool inputFullyUsed(std::size_t inputIndex) const {
    for (std::size_t i = 0; i < split_.size(); ++i) {
      if (split_[i].index.inputIndex == inputIndex && !split_.isUsed(i)) {
        return false;
      }
    }
    return true;
  }

  void takeValuesUpToNextOption(std::size_t afterInput, std::vector<std::string>& values) {
    for (std::size_t i = 0; i < split_.size(); ++i) {
      const SplitElement& element = split_[i];
      if (split_.isUsed(i) || element.index.inputIndex <= afterInput) {
        continue;
      }
      if (!element.isValue() || element.afterTerminator) {
        return;
      }
      split_.markUsed(i);
      values.push_back(element.value);
    }
  }

  void takeAllRemainingInput(std::size_t afterInput, std::vector<std::string>& values) {
    const auto& input = split_.originalInput();
    for (std::size_t next = afterInput + 1; next < input.size(); ++next) {
      if (!inputFullyUsed(next)) {
        split_.markInputUsed(next);
        values.push_back(input[next]);
      }
    }
  }

  void assign(const ArgumentDefinition& definition, const std::optional<Name>& name,
              const std::string& value) {
    detail::AssignResult result = definition.target->assign(value);
    if (!result.ok) {
      throw ParserError::unableToParseValue(name, value, definition.key, result.error);
    }
  }

  // Unused values in order; at a command with subcommands they end before a
  // child's name, which the descent will take.
  std::vector<std::size_t> positionalCandidates() const {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < split_.size(); ++i) {
      const SplitElement& element = split_[i];
      if (split_.isUsed(i) || !element.isValue()) {
        continue;
      }
      if (!element.afterTerminator && node_ != nullptr && node_->child(element.value) != nullptr) {
        break;
      }
      candidates.push_back(i);
    }
    return candidates;
  }

  void parsePositionals() {
    auto positionals = set_.positionals();
    if (positionals.empty()) {
      return;
    }
    auto candidates = positionalCandidates();
    bool laterTakesTerminated = false;
    std::size_t next = 0;
    for (std::size_t p = 0; p < positionals.size(); ++p) {
      const ArgumentDefinition& definition = *positionals[p];
      laterTakesTerminated =
          std::any_of(positionals.begin() + static_cast<std::ptrdiff_t>(p) + 1, positionals.end(),
                      [](const ArgumentDefinition* d) {
                        return d->parsingStrategy == ParsingStrategy::postTerminator;
                      });
      switch (definition.parsingStrategy) {
        case ParsingStrategy::postTerminator:
          for (std::size_t c : candidates) {
            if (!split_.isUsed(c) && split_[c].afterTerminator) {
              take(definition, c);
            }
          }
          continue;
        case ParsingStrategy::allUnrecognized:
          takeAllUnrecognized(definition);
          continue;
        default:
          break;
      }
      while (next < candidates.size() &&
             (split_.isUsed(candidates[next]) ||
              (laterTakesTerminated && split_[candidates[next]].afterTerminator))) {
        ++next;
      }
      if (next >= candidates.size()) {
        continue;
      }
      if (!definition.isRepeating) {
        take(definition, candidates[next++]);
        continue;
      }
      for (; next < candidates.size(); ++next) {
        if (laterTakesTerminated && split_[candidates[next]].afterTerminator) {
          break;
        }
        take(definition, candidates[next]);
      }
    }
  }

  void take(const ArgumentDefinition& definition, std::size_t position) {
    split_.markUsed(position);
    assign(definition, std::nullopt, split_[position].value);
  }

  void takeAllUnrecognized(const ArgumentDefinition& definition) {
    if (node_ != nullptr && !node_->children.empty()) {
      return;  // only a leaf knows what is left over
    }
    std::vector<std::size_t> inputs;
    for (std::size_t position : split_.unusedPositions()) {
      std::size_t input = split_[position].index.inputIndex;
      if (std::find(inputs.begin(), inputs.end(), input) == inputs.end()) {
        inputs.push_back(input);
      }
    }
    for (std::size_t input : inputs) {
      split_.markInputUsed(input);
      assign(definition, std::nullopt, split_.originalInput()[input]);
    }
  }

  void checkRequired() const {
    for (const auto& definition : set_.definitions()) {
      if (definition.target != nullptr && !definition.isOptional &&
          !definition.target->hasValue()) {
        throw ParserError::noValue(definition.key);
      }
    }
  }

  const ArgumentSet& set_;
  SplitArguments& split_;
  const CommandNode* node_;
  std::map<InputKey, FlagRecord> flags_;
};

void validateAll(ParsableArguments& arguments) {
  for (detail::ArgumentBase* argument : arguments.declaredArguments()) {
    if (ParsableArguments* group = argument->group()) {
      validateAll(*group);
    }
  }
  arguments.validate();
}

// Whether checkForBuiltInFlags answers the option at the stack. The version
// is looked at last: finding it may cost more than the rest of the parse.
bool isBuiltInFlag(const CommandStack& stack, const std::vector<Name>& help, const Name& name) {
  for (const auto& helpName : help) {
    if (name == helpName ||
        (!helpName.isShort() && name == Name{helpName.kind, helpName.value + "-hidden"})) {
      return true;
    }
  }
  return name == dumpHelpFlag() || (name == versionFlag() && hasVersion(stack));
}

bool onlyBuiltInFlagsRemain(const CommandStack& stack, const SplitArguments& split) {
  auto unused = split.unusedPositions();
  if (unused.empty()) {
    return false;
  }
  auto help = helpNames(stack);
  return std::all_of(unused.begin(), unused.end(), [&](std::size_t position) {
    const SplitElement& element = split[position];
    return element.isOption() && isBuiltInFlag(stack, help, element.option.name);
  });
}

// The first unused option is unknown; otherwise unused values are extra.
void throwForLeftovers(const SplitArguments& split) {
  auto unused = split.unusedPositions();
  for (std::size_t position : unused) {
    if (split[position].isOption()) {
      throw ParserError::unknownOption(split[position].option.name);
    }
  }
  if (unused.empty()) {
    return;
  }
  std::vector<std::pair<InputIndex, std::string>> values;
  values.reserve(unused.size());
  for (std::size_t position : unused) {
    values.emplace_back(split[position].index, split[position].value);
  }
  throw ParserError::unexpectedExtraValues(std::move(values));
}

[[noreturn]] void fail(const CommandStack& stack, ParserError error) {
  throw CommandError{typesOf(stack), std::move(error)};
}

// The manual page, like a completion script, describes the whole tree
// wherever the option stands.
void checkManualRequest(const CommandStack& rootStack, const SplitArguments& split) {
  if (split.findUnusedOption(Name::longName("generate-manual"))) {
    fail(rootStack, ParserError::simple(ParserError::Kind::manualRequested));
  }
}

}  // namespace

std::vector<Name> helpNames(const CommandStack& stack) {
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    const auto& names = (*it)->configuration().helpNames;
    if (names) {
      return names->makeNames("help");
    }
  }
  return {Name::shortName('h'), Name::longName("help")};
}

std::string preferredHelpName(const CommandStack& stack) {
  auto names = helpNames(stack);
  for (const auto& name : names) {
    if (!name.isShort()) {
      return name.synopsis();
    }
  }
  return names.empty() ? std::string("--help") : names.front().synopsis();
}

bool hasVersion(const CommandStack& stack) {
  return std::any_of(stack.begin(), stack.end(), [](const CommandNode* node) {
    return !node->configuration().version.empty();
  });
}

void checkForBuiltInFlags(const CommandStack& stack, const SplitArguments& split) {
  auto names = helpNames(stack);
  for (const auto& name : names) {
    if (split.containsUnusedOption(name)) {
      fail(stack, ParserError::helpRequested(false));
    }
  }
  for (const auto& name : names) {
    if (!name.isShort() && split.containsUnusedOption(Name{name.kind, name.value + "-hidden"})) {
      fail(stack, ParserError::helpRequested(true));
    }
  }
  if (split.containsUnusedOption(dumpHelpFlag())) {
    fail(stack, ParserError::simple(ParserError::Kind::dumpHelpRequested));
  }
  if (split.containsUnusedOption(versionFlag()) && hasVersion(stack)) {
    fail(stack, ParserError::simple(ParserError::Kind::versionRequested));
  }
}

void parseArgumentSet(const ArgumentSet& set, SplitArguments& split, const CommandNode* node) {
  LevelParser(set, split, node).parse();
}

ParseResult CommandParser::parse(const std::vector<std::string>& arguments) const {
  const CommandStack rootStack{&tree_.root()};
  if (!arguments.empty() && arguments.front() == "---completion") {
    std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    tree_.growAll();
    fail(rootStack,
         ParserError::completionScriptCustomResponse(customCompletionResponse(tree_, rest)));
  }
  try {
    SplitArguments split = [&] {
      try {
        return SplitArguments::split(arguments);
      } catch (ParserError& error) {
        fail(rootStack, std::move(error));
      }
    }();
    checkCompletionScriptRequest(split);
    checkManualRequest(rootStack, split);
    ParseResult result = descend(split);
    checkForBuiltInFlags(result.stack, split);
    checkLeftovers(result.stack, split);
    if (result.stack.back()->type == command<HelpCommand>()) {
      auto* help = static_cast<HelpCommand*>(result.command.get());
      tree_.growAll();
      CommandStack requested{&tree_.root()};
      for (const auto& name : help->subcommands.get()) {
        const CommandNode* child = requested.back()->child(name);
        if (child == nullptr) {
          break;
        }
        requested.push_back(child);
      }
      help->requestedStack = typesOf(requested);
    }
    return result;
  } catch (CommandError& error) {
    if (arguments.empty() && !error.parserError.isCleanRequest()) {
      error.parserError = ParserError::noArguments(std::move(error.parserError));
    }
    throw;
  }
}

void CommandParser::checkCompletionScriptRequest(SplitArguments& split) const {
  auto position = split.findUnusedOption(completionScriptOption());
  if (!position) {
    return;
  }
  const CommandStack rootStack{&tree_.root()};
  const SplitElement& element = split[*position];
  if (element.option.value) {
    fail(rootStack, ParserError::completionScriptRequested(*element.option.value));
  }
  std::size_t next = *position + 1;
  if (next < split.size() && !split.isUsed(next) && split[next].isValue() &&
      !split[next].afterTerminator) {
    fail(rootStack, ParserError::completionScriptRequested(split[next].value));
  }
  auto shell = autodetectedShell();
  if (!shell) {
    fail(rootStack, ParserError::unsupportedShell(std::nullopt));
  }
  fail(rootStack, ParserError::completionScriptRequested(std::string(rawValue(*shell))));
}

std::unique_ptr<ParsableCommand> CommandParser::parseLevel(const CommandStack& stack,
                                                           SplitArguments& split) const {
  const CommandNode* node = stack.back();
  std::unique_ptr<ParsableCommand> command = node->type->make();
  ArgumentSet set = makeArgumentSet(*command);
  for (const auto& definition : set.definitions()) {
    definition.target->reset();
  }
  try {
    parseArgumentSet(set, split, node);
  } catch (ParserError& error) {
    checkForBuiltInFlags(stack, split);  // a help request wins over the mistake
    fail(stack, std::move(error));
  }
  try {
    validateAll(*command);
  } catch (...) {
    checkForBuiltInFlags(stack, split);
    fail(stack, ParserError::userValidationError(std::current_exception()));
  }
  return command;
}

ParseResult CommandParser::descend(SplitArguments& split) const {
  CommandStack stack{&tree_.root()};
  while (true) {
    tree_.grow(*stack.back());
    std::unique_ptr<ParsableCommand> command = parseLevel(stack, split);
    auto next = split.firstUnused();
    if (next && split[*next].isValue() && !split[*next].afterTerminator) {
      if (const CommandNode* child = stack.back()->child(split[*next].value)) {
        split.markUsed(*next);
        stack.push_back(child);
        continue;
      }
    }
    // A group's own help or dump before falling back to its default subcommand.
    if (onlyBuiltInFlagsRemain(stack, split)) {
      checkForBuiltInFlags(stack, split);
    }
    if (CommandType fallback = stack.back()->configuration().defaultSubcommand) {
      if (const CommandNode* child = stack.back()->childOfType(fallback)) {
        stack.push_back(child);
        continue;
      }
    }
    return ParseResult{stack, std::move(command)};
  }
}

void CommandParser::checkLeftovers(const CommandStack& stack, const SplitArguments& split) const {
  try {
    throwForLeftovers(split);
  } catch (ParserError& error) {
    fail(stack, std::move(error));
  }
}

}  // namespace argparse
