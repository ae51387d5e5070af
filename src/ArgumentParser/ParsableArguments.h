#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "ArgumentParser/ArgumentHelp.h"
#include "ArgumentParser/CommandConfiguration.h"
#include "ArgumentParser/CompletionKind.h"
#include "ArgumentParser/Errors.h"
#include "ArgumentParser/ExpressibleByArgument.h"
#include "ArgumentParser/Name.h"

namespace argparse {

// How a named or positional argument collects its value(s).
//   single-value options: default_ (next element, must not look like an
//     option), scanningForValue (next value element, skipping options),
//     unconditional (next element, whatever it looks like);
//   repeating options: default_ (one value per occurrence), upToNextOption,
//     allRemainingInput;
//   repeating positionals: default_ (the remaining values), postTerminator
//     (what follows "--"), allUnrecognized (whatever no one else consumed).
enum class ParsingStrategy {
  default_,
  scanningForValue,
  unconditional,
  upToNextOption,
  allRemainingInput,
  postTerminator,
  allUnrecognized
};

// Extra names of a boolean flag that set it to false.
enum class FlagInversion { prefixedNo, prefixedEnableDisable };
// What happens when several cases of an enumeration flag are given.
enum class FlagExclusivity { exclusive, chooseFirst, chooseLast };

class ParsableArguments;

namespace detail {

// What one declared member says about itself.
struct ArgumentDeclaration {
  enum class Kind { positional, option, flag, enumFlag, group };

  Kind kind = Kind::option;
  std::string propertyName{};
  NameSpecification names{};  // empty: the derived long name
  ArgumentHelp help{};
  bool isOptional = false;
  bool isRepeating = false;
  std::optional<std::string> defaultValueText{};
  std::vector<std::string> allValueStrings{};
  CompletionKind completion{};
  ParsingStrategy parsingStrategy = ParsingStrategy::default_;
  std::optional<FlagInversion> inversion{};
  FlagExclusivity exclusivity = FlagExclusivity::chooseLast;
  std::vector<std::string> caseNames{};  // enumeration flags: one long name per case
  std::optional<std::string> title{};    // option groups
};

struct AssignResult {
  bool ok = true;
  std::string error{};  // the type's own explanation, if any
};

[[noreturn]] void fatalError(const std::string& message);
[[noreturn]] void unparsedValueRead();

// A declared member of a ParsableArguments; registers itself with its owner
// on construction, so members are seen in declaration order.
class ArgumentBase {
 public:
  ArgumentBase(ParsableArguments* owner, ArgumentDeclaration declaration);
  ArgumentBase(const ArgumentBase&) = delete;
  ArgumentBase& operator=(const ArgumentBase&) = delete;
  virtual ~ArgumentBase() = default;

  const ArgumentDeclaration& declaration() const { return declaration_; }

  // Puts the default value in place (or nothing, for a required argument).
  virtual void reset() = 0;
  virtual bool hasValue() const = 0;
  // Converts and stores one value text (appending for repeating arguments).
  virtual AssignResult assign(std::string_view /*text*/) { return {false, {}}; }
  // Flags: 0 sets, 1 inverts; enumeration flags: the case index.
  virtual void setFlag(std::size_t /*which*/) {}
  // Option groups: the nested arguments.
  virtual ParsableArguments* group() { return nullptr; }

 private:
  ArgumentDeclaration declaration_;
};

template <typename T>
struct ValueShape {
  using Element = T;
  static constexpr bool isOptional = false;
  static constexpr bool isRepeating = false;
};
template <typename U>
struct ValueShape<std::optional<U>> {
  using Element = U;
  static constexpr bool isOptional = true;
  static constexpr bool isRepeating = false;
};
template <typename U>
struct ValueShape<std::vector<U>> {
  using Element = U;
  static constexpr bool isOptional = false;
  static constexpr bool isRepeating = true;
};

template <typename T>
std::optional<std::string> describeDefault(const std::optional<T>& value) {
  using Shape = ValueShape<T>;
  using E = typename Shape::Element;
  if (!value) {
    return std::nullopt;
  }
  if constexpr (Shape::isRepeating) {
    if (value->empty()) {
      return std::nullopt;
    }
    std::string text{};
    for (const auto& item : *value) {
      text += (text.empty() ? "" : ", ") + ExpressibleByArgument<E>::defaultValueDescription(item);
    }
    return text;
  } else if constexpr (Shape::isOptional) {
    if (!value->has_value()) {
      return std::nullopt;
    }
    return ExpressibleByArgument<E>::defaultValueDescription(**value);
  } else {
    return ExpressibleByArgument<E>::defaultValueDescription(*value);
  }
}

// Storage shared by positional arguments and options of value type T, which
// may be plain (required unless defaulted), std::optional<U> or std::vector<U>.
template <typename T>
class ValueArgument : public ArgumentBase {
  using Shape = ValueShape<T>;
  using Element = typename Shape::Element;
  static_assert(ArgumentValue<Element>,
                "the value type needs an ExpressibleByArgument specialisation");

 public:
  const T& get() const {
    if (!value_) {
      unparsedValueRead();
    }
    return *value_;
  }
  const T& operator*() const { return get(); }
  const T* operator->() const { return &get(); }
  operator const T&() const { return get(); }  // NOLINT: reads like the value

  // Sets the value directly, as if parsed (for building commands in code).
  void set(T value) {
    value_ = std::move(value);
    fromInput_ = true;
  }

  void reset() override {
    fromInput_ = false;
    if (default_) {
      value_ = default_;
    } else if constexpr (Shape::isOptional) {
      value_ = T{};
    } else {
      value_.reset();
    }
  }
  bool hasValue() const override { return value_.has_value(); }

  AssignResult assign(std::string_view text) override {
    std::optional<Element> element{};
    try {
      element = ExpressibleByArgument<Element>::fromArgument(text);
    } catch (const std::exception& e) {
      return {false, e.what()};
    }
    if (!element) {
      return {false, {}};
    }
    if constexpr (Shape::isRepeating) {
      if (!fromInput_ || !value_) {
        value_ = T{};  // a default array is replaced, not appended to
      }
      value_->push_back(std::move(*element));
    } else {
      value_ = T(std::move(*element));
    }
    fromInput_ = true;
    return {};
  }

 protected:
  ValueArgument(ParsableArguments* owner, ArgumentDeclaration declaration,
                std::optional<T> defaultValue, std::optional<CompletionKind> completion)
      : ArgumentBase(owner, complete(std::move(declaration), defaultValue, std::move(completion))),
        default_(std::move(defaultValue)) {}

 private:
  static ArgumentDeclaration complete(ArgumentDeclaration d, const std::optional<T>& defaultValue,
                                      std::optional<CompletionKind> completion) {
    d.isOptional = Shape::isOptional || defaultValue.has_value();
    d.isRepeating = Shape::isRepeating;
    d.defaultValueText = describeDefault(defaultValue);
    d.allValueStrings = allValueStrings<Element>();
    d.completion = completion ? std::move(*completion) : defaultCompletionKind<Element>();
    return d;
  }

  std::optional<T> default_{};
  std::optional<T> value_{};
  bool fromInput_ = false;
};

}  // namespace detail

// A group of declared arguments. Members register themselves in declaration
// order, so instances are neither copied nor moved.
class ParsableArguments {
 public:
  ParsableArguments() = default;
  ParsableArguments(const ParsableArguments&) = delete;
  ParsableArguments& operator=(const ParsableArguments&) = delete;
  virtual ~ParsableArguments() = default;

  // Checks the parsed values; throw ValidationError to reject them.
  virtual void validate() {}

  const std::vector<detail::ArgumentBase*>& declaredArguments() const { return arguments_; }

 private:
  friend class detail::ArgumentBase;
  std::vector<detail::ArgumentBase*> arguments_;
};

// A command: a group of arguments with a configuration and an action. A
// command type provides `static CommandConfiguration configuration()` (called
// once, on first use); without it every field takes its default.
class ParsableCommand : public ParsableArguments {
 public:
  // The default shows the command's help: groups need not override it.
  virtual void run() { throw CleanExit::helpRequest(); }
};

// A positional argument: `Argument<double> level{this, "level", {.help = {"Level."}}};`
template <typename T>
class Argument : public detail::ValueArgument<T> {
 public:
  struct Settings {
    ArgumentHelp help{};
    std::optional<T> defaultValue{};
    ParsingStrategy parsing = ParsingStrategy::default_;
    std::optional<CompletionKind> completion{};  // absent: the value type's own
  };

  Argument(ParsableArguments* owner, std::string propertyName, Settings settings = {})
      : detail::ValueArgument<T>(owner, declare(std::move(propertyName), settings),
                                 std::move(settings.defaultValue), std::move(settings.completion)) {
  }

 private:
  static detail::ArgumentDeclaration declare(std::string propertyName, const Settings& settings) {
    detail::ArgumentDeclaration d;
    d.kind = detail::ArgumentDeclaration::Kind::positional;
    d.propertyName = std::move(propertyName);
    d.help = settings.help;
    d.parsingStrategy = settings.parsing;
    return d;
  }
};

// A named argument taking a value:
// `Option<std::optional<std::string>> socket{this, "socket", {.help = {"Path."}}};`
template <typename T>
class Option : public detail::ValueArgument<T> {
 public:
  struct Settings {
    NameSpecification name{};  // empty: the long name derived from the property
    ArgumentHelp help{};
    std::optional<T> defaultValue{};
    ParsingStrategy parsing = ParsingStrategy::default_;
    std::optional<CompletionKind> completion{};  // absent: the value type's own
  };

  Option(ParsableArguments* owner, std::string propertyName, Settings settings = {})
      : detail::ValueArgument<T>(owner, declare(std::move(propertyName), settings),
                                 std::move(settings.defaultValue), std::move(settings.completion)) {
  }

 private:
  static detail::ArgumentDeclaration declare(std::string propertyName, const Settings& settings) {
    detail::ArgumentDeclaration d;
    d.kind = detail::ArgumentDeclaration::Kind::option;
    d.propertyName = std::move(propertyName);
    d.names = settings.name;
    d.help = settings.help;
    d.parsingStrategy = settings.parsing;
    return d;
  }
};

struct FlagSettings {
  NameSpecification name{};
  ArgumentHelp help{};
  std::optional<bool> defaultValue{};  // absent: false, or required when inverted
  std::optional<FlagInversion> inversion{};
  FlagExclusivity exclusivity = FlagExclusivity::chooseLast;
};

// A boolean flag: `Flag json{this, "json", {.help = {"Output JSON."}}};`
// With an inversion (--x / --no-x) and no default the flag is required.
class Flag : public detail::ArgumentBase {
 public:
  using Settings = FlagSettings;

  Flag(ParsableArguments* owner, std::string propertyName, const Settings& settings = {});

  bool get() const {
    if (!value_) {
      detail::unparsedValueRead();
    }
    return *value_;
  }
  bool operator*() const { return get(); }
  operator bool() const { return get(); }  // NOLINT: reads like the value
  void set(bool value) { value_ = value; }

  void reset() override { value_ = default_; }
  bool hasValue() const override { return value_.has_value(); }
  void setFlag(std::size_t which) override { value_ = which == 0; }

 private:
  std::optional<bool> default_{};
  std::optional<bool> value_{};
};

// A flag with one long name per case of a string enumeration (--red, --green).
// Without a default one of the cases is required.
template <StringEnumeration E>
class EnumFlag : public detail::ArgumentBase {
 public:
  struct Settings {
    ArgumentHelp help{};
    std::optional<E> defaultValue{};
    FlagExclusivity exclusivity = FlagExclusivity::exclusive;
  };

  EnumFlag(ParsableArguments* owner, std::string propertyName, Settings settings = {})
      : detail::ArgumentBase(owner, declare(std::move(propertyName), settings)),
        default_(settings.defaultValue) {}

  E get() const {
    if (!value_) {
      detail::unparsedValueRead();
    }
    return *value_;
  }
  E operator*() const { return get(); }
  operator E() const { return get(); }  // NOLINT: reads like the value
  void set(E value) { value_ = value; }

  void reset() override { value_ = default_; }
  bool hasValue() const override { return value_.has_value(); }
  void setFlag(std::size_t which) override {
    std::size_t i = 0;
    for (const auto& entry : EnumStrings<E>::cases) {
      if (i++ == which) {
        value_ = entry.first;
      }
    }
  }

 private:
  static detail::ArgumentDeclaration declare(std::string propertyName, const Settings& settings) {
    detail::ArgumentDeclaration d;
    d.kind = detail::ArgumentDeclaration::Kind::enumFlag;
    d.propertyName = std::move(propertyName);
    d.help = settings.help;
    d.isOptional = settings.defaultValue.has_value();
    d.exclusivity = settings.exclusivity;
    for (const auto& entry : EnumStrings<E>::cases) {
      d.caseNames.emplace_back(entry.second);
    }
    if (settings.defaultValue) {
      d.defaultValueText = std::string(enumString(*settings.defaultValue));
    }
    return d;
  }

  std::optional<E> default_{};
  std::optional<E> value_{};
};

// The arguments of another ParsableArguments merged into the owner's; a title
// gives them their own help section.
template <typename G>
class OptionGroup : public detail::ArgumentBase {
  static_assert(std::is_base_of_v<ParsableArguments, G>);

 public:
  struct Settings {
    std::optional<std::string> title{};
    ArgumentVisibility visibility = ArgumentVisibility::default_;
  };

  OptionGroup(ParsableArguments* owner, std::string propertyName, Settings settings = {})
      : detail::ArgumentBase(owner, declare(std::move(propertyName), settings)) {}

  const G& get() const { return value_; }
  const G& operator*() const { return value_; }
  const G* operator->() const { return &value_; }
  G& mutableValue() { return value_; }

  void reset() override {}
  bool hasValue() const override { return true; }
  ParsableArguments* group() override { return &value_; }

 private:
  static detail::ArgumentDeclaration declare(std::string propertyName, const Settings& settings) {
    detail::ArgumentDeclaration d;
    d.kind = detail::ArgumentDeclaration::Kind::group;
    d.propertyName = std::move(propertyName);
    d.title = settings.title;
    d.help.visibility = settings.visibility;
    d.isOptional = true;
    return d;
  }

  G value_;
};

namespace detail {

// The unqualified name of a type from the compiler's function signature:
// VolumeCommand::Get gives "Get".
template <typename T>
constexpr std::string_view typeName() {
  std::string_view pretty = __PRETTY_FUNCTION__;
  auto start = pretty.find("T = ");
  if (start == std::string_view::npos) {
    return pretty;
  }
  start += 4;
  auto end = pretty.find_first_of(";]", start);
  std::string_view full = pretty.substr(start, end - start);
  // Keep what follows the last "::" outside template arguments.
  int depth = 0;
  std::size_t begin = 0;
  std::size_t stop = full.size();
  for (std::size_t i = 0; i < full.size(); ++i) {
    char c = full[i];
    if (c == '<') {
      if (depth++ == 0) {
        stop = i;
      }
    } else if (c == '>') {
      --depth;
    } else if (depth == 0 && c == ':' && i + 1 < full.size() && full[i + 1] == ':') {
      begin = i + 2;
      stop = full.size();
    }
  }
  return full.substr(begin, stop - begin);
}

template <typename C>
const CommandConfiguration& configurationOf() {
  static const CommandConfiguration configuration = [] {
    if constexpr (requires { C::configuration(); }) {
      return CommandConfiguration(C::configuration());
    } else {
      return CommandConfiguration{};
    }
  }();
  return configuration;
}

template <typename C>
std::unique_ptr<ParsableCommand> makeCommand() {
  return std::make_unique<C>();
}

}  // namespace detail

// The runtime description of command type C, for configurations and entry points.
template <typename C>
CommandType command() {
  static_assert(std::is_base_of_v<ParsableCommand, C>, "commands derive from ParsableCommand");
  static const CommandInfo info{detail::typeName<C>(), &detail::configurationOf<C>,
                                &detail::makeCommand<C>};
  return &info;
}

}  // namespace argparse
