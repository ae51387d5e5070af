#pragma once
// The command tree, built once from the root command type by following the
// configured subcommands; the built-in `help` command is the last child of a
// root that has subcommands.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ArgumentParser/CommandConfiguration.h"
#include "ArgumentParser/ParsableArguments.h"

namespace argparse {

// The name of a command type: its configured name, else derived from the type name.
std::string commandName(CommandType type);

struct CommandNode {
  CommandType type = nullptr;
  const CommandNode* parent = nullptr;
  std::vector<std::unique_ptr<CommandNode>> children;

  const CommandConfiguration& configuration() const { return type->configuration(); }
  std::string name() const { return commandName(type); }
  // The child with the name or alias, if any.
  const CommandNode* child(std::string_view nameOrAlias) const;
  const CommandNode* childOfType(CommandType childType) const;
  bool hasSubcommands() const { return !configuration().allSubcommands().empty(); }
};

using CommandStack = std::vector<const CommandNode*>;

class CommandTree {
 public:
  // Stops the process on a declaration mistake: a command among its own
  // subcommands, or an alias equal to the command's name.
  explicit CommandTree(CommandType root);

  const CommandNode& root() const { return *root_; }
  // The stack down to the first node of the type (breadth first); the root
  // alone when the type is not in the tree.
  CommandStack stackFor(CommandType type) const;
  // The stack along the given types from the root, as far as they match.
  CommandStack stackAlong(const std::vector<CommandType>& types) const;

 private:
  std::unique_ptr<CommandNode> root_;
};

CommandStack stackTo(const CommandNode& node);
std::vector<CommandType> typesOf(const CommandStack& stack);

// The built-in `help` subcommand.
class HelpCommand : public ParsableCommand {
 public:
  static CommandConfiguration configuration() {
    return {.commandName = "help", .abstract = "Show subcommand help information."};
  }

  Argument<std::vector<std::string>> subcommands{
      this, "subcommands", {.defaultValue = std::vector<std::string>{}}};

  // The command whose help is shown; filled in by the parser.
  std::vector<CommandType> requestedStack;

  void run() override;
};

}  // namespace argparse
