#pragma once
// The parser's flat view of a command's declared arguments: one definition
// per argument, option groups merged in, with the names and help texts the
// parser and the generators share.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ArgumentParser/ArgumentHelp.h"
#include "ArgumentParser/CompletionKind.h"
#include "ArgumentParser/Name.h"
#include "ArgumentParser/ParsableArguments.h"

namespace argparse {

// The place a value is stored: the property name plus the names of the
// option groups it sits in.
struct InputKey {
  std::string name;
  std::vector<std::string> path;

  friend bool operator==(const InputKey&, const InputKey&) = default;
  friend bool operator<(const InputKey& a, const InputKey& b) {
    return a.name != b.name ? a.name < b.name : a.path < b.path;
  }
};

struct ArgumentDefinition {
  enum class Kind { named, positional };
  enum class Update { nullary, unary };  // flags take no value

  Kind kind = Kind::named;
  Update update = Update::unary;
  std::vector<Name> names;
  // For flags: what each name (by index) sets; see ArgumentBase::setFlag.
  std::vector<std::size_t> flagValues;
  FlagExclusivity exclusivity = FlagExclusivity::chooseLast;

  bool isOptional = false;
  bool isRepeating = false;
  std::optional<std::string> defaultValue;
  InputKey key;
  std::vector<std::string> allValueStrings;
  bool isComposite = false;  // several flag names setting one value
  std::string abstract;
  std::string discussion;
  std::string valueName;
  ArgumentVisibility visibility = ArgumentVisibility::default_;
  std::optional<std::string> parentTitle;
  CompletionKind completion;
  ParsingStrategy parsingStrategy = ParsingStrategy::default_;

  detail::ArgumentBase* target = nullptr;  // null for the built-in flags

  bool isPositional() const { return kind == Kind::positional; }
  bool isFlag() const { return update == Update::nullary; }
  bool takesValue() const { return kind == Kind::named && update == Update::unary; }
  // The name shown in usage lines: the first name that is not short, else the first.
  const Name* preferredName() const;
  // "--name <value>", "-n", "<value>": the argument in error and help lines.
  std::string synopsisForHelp() const;
  // The argument as it appears in a usage line, brackets and ellipsis included.
  std::string usageSynopsis() const;
  // "-n, --name <value>": the help label.
  std::string helpLabel() const;
  bool isShown(bool includeHidden) const {
    return visibility == ArgumentVisibility::default_ ||
           (includeHidden && visibility == ArgumentVisibility::hidden);
  }
};

// A command's definitions in declaration order and the lookup by name.
class ArgumentSet {
 public:
  ArgumentSet() = default;
  explicit ArgumentSet(std::vector<ArgumentDefinition> definitions);

  const std::vector<ArgumentDefinition>& definitions() const { return definitions_; }
  std::vector<ArgumentDefinition>& definitions() { return definitions_; }
  // Index of the definition with the name, if any.
  std::optional<std::size_t> find(const Name& name) const;
  std::vector<const ArgumentDefinition*> positionals() const;
  void append(ArgumentDefinition definition);

 private:
  std::vector<ArgumentDefinition> definitions_;
  std::map<std::string, std::size_t> byName_;  // keyed by synopsis ("--x", "-x")
};

// The definitions of every argument declared by `arguments`, option groups
// flattened in place.
ArgumentSet makeArgumentSet(ParsableArguments& arguments);

// The built-in flags listed under OPTIONS and in the help dump.
ArgumentDefinition versionFlagDefinition();
ArgumentDefinition helpFlagDefinition(std::vector<Name> helpNames);

}  // namespace argparse
