#pragma once
// Help screens and usage lines of a command in the tree.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ArgumentParser/ArgumentDefinition.h"
#include "ArgumentParser/Tree.h"

namespace argparse {

// Wraps text to `columns` minus `indent`, prefixing each non-empty line
// with `indent` spaces. Counts characters, not bytes.
std::string wrapText(std::string_view text, int columns, int indent = 0);

// The command path as typed: the root's _superCommandName when set, then
// the names of the stack, joined by spaces.
std::string commandPath(const CommandStack& stack);

// The arguments of the stack's last command, as the generators see them,
// with the instance their definitions point into.
struct CommandArguments {
  std::unique_ptr<ParsableCommand> instance;
  ArgumentSet set;
};
CommandArguments argumentsFor(const CommandStack& stack);

// The usage line: the configured one, or the path and argument synopses.
std::string usageString(const CommandStack& stack, bool includeHidden = false);

// The full help screen at the given width (the terminal's when absent).
std::string helpMessage(const CommandStack& stack, bool includeHidden = false,
                        std::optional<int> columns = std::nullopt);

// Columns for help: COLUMNS/LINES, else the terminal, else 80.
int helpColumns();

}  // namespace argparse
