#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ArgumentParser/ManualSection.h"
#include "ArgumentParser/Name.h"

namespace argparse {

class ParsableCommand;
struct CommandConfiguration;

// The runtime description of a command type; obtain one with command<T>().
// Two descriptions are the same type exactly when the pointers are equal.
struct CommandInfo {
  std::string_view typeName{};  // unqualified: "Get" for VolumeCommand::Get
  const CommandConfiguration& (*configuration)();
  std::unique_ptr<ParsableCommand> (*make)();
};
using CommandType = const CommandInfo*;

// Children shown under their own "<name> SUBCOMMANDS:" help section.
struct CommandGroup {
  std::string name{};
  std::vector<CommandType> subcommands{};
};

// A command's version text: the text itself, or a function that finds it
// when it is first needed (a version read from the installation need not be
// looked up by every run that does not show it).
class VersionText {
 public:
  VersionText() = default;
  VersionText(std::string text) : text_(std::move(text)) {}  // NOLINT: reads like the text
  VersionText(const char* text) : text_(text) {}             // NOLINT: reads like the text
  VersionText(std::string (*find)()) : find_(find) {}        // NOLINT: reads like the text

  std::string text() const { return find_ != nullptr ? find_() : text_; }
  bool empty() const { return text().empty(); }

 private:
  std::string text_{};
  std::string (*find_)() = nullptr;
};

// What a command says about itself. Declare the fields in this order when
// using designated initialisers.
struct CommandConfiguration {
  // Name on the command line; derived from the type name when absent
  // (VolumeCommand::Get gives "get", PlayPause gives "play-pause").
  std::optional<std::string> commandName{};
  // Name of an enclosing program, put before the command path in usage and hints.
  std::optional<std::string> _superCommandName{};
  std::string abstract{};
  // Replaces the generated usage line when set.
  std::optional<std::string> usage{};
  std::string discussion{};
  // When non-empty anywhere in the command stack, --version is accepted.
  VersionText version{};
  bool shouldDisplay = true;
  // Children in declaration order (the ungrouped subcommands).
  std::vector<CommandType> subcommands{};
  std::vector<CommandGroup> groupedSubcommands{};
  // Child used when no child name follows.
  CommandType defaultSubcommand = nullptr;
  // Names of the help flag; absent inherits from the nearest ancestor that
  // sets them, else -h and --help.
  std::optional<NameSpecification> helpNames{};
  std::vector<std::string> aliases{};
  // What the program says in its manual page (--generate-manual) beyond its
  // commands; asked for only when the page is made, and of the root alone.
  Manual (*manual)() = nullptr;

  // The ungrouped subcommands followed by the members of each group.
  std::vector<CommandType> allSubcommands() const {
    std::vector<CommandType> all = subcommands;
    for (const auto& group : groupedSubcommands) {
      all.insert(all.end(), group.subcommands.begin(), group.subcommands.end());
    }
    return all;
  }
};

}  // namespace argparse
