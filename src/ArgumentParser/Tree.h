#pragma once
// The command tree, made from the root command type by following the
// configured subcommands; the built-in `help` command is the last child of a
// root that has subcommands. A whole tree is built at once; a lean tree holds
// only what has been asked for, so that a command line pays for the path it
// names rather than for every command of the program.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ArgumentParser/CommandConfiguration.h"
#include "ArgumentParser/ParsableArguments.h"

namespace argparse {

// The name of a command type: its configured name, else derived from the type name.
std::string commandName(CommandType type);

struct CommandNode {
  CommandNode() = default;
  CommandNode(CommandType nodeType, const CommandNode* parentNode);

  CommandType type = nullptr;
  const CommandNode* parent = nullptr;
  // Empty until the tree has grown the node (see CommandTree::grow).
  std::vector<std::unique_ptr<CommandNode>> children;

  const CommandConfiguration& configuration() const { return type->configuration(); }
  // Derived on first use, when the node's aliases are checked against it:
  // a lean tree reads the configurations of the commands it looks at only.
  const std::string& name() const;
  // The child with the name or alias, if any.
  const CommandNode* child(std::string_view nameOrAlias) const;
  const CommandNode* childOfType(CommandType childType) const;
  bool hasSubcommands() const { return !configuration().allSubcommands().empty(); }

 private:
  friend class CommandTree;
  mutable std::optional<std::string> name_;
  bool grown_ = false;
};

using CommandStack = std::vector<const CommandNode*>;

class CommandTree {
 public:
  // The whole tree. Stops the process on a declaration mistake: a command
  // among its own subcommands, or an alias equal to the command's name.
  explicit CommandTree(CommandType root);
  // The root and its children; deeper levels are added by grow() as the
  // command line reaches them. The checks above are made as nodes are added
  // and named.
  static CommandTree lean(CommandType root);

  const CommandNode& root() const { return *root_; }
  // Adds the children of a node of this tree, once, checking them.
  void grow(const CommandNode& node);
  // Grows and names every node: the whole tree, every declaration checked.
  void growAll();
  // The stack down to the first node of the type (breadth first); the root
  // alone when the type is not in the tree.
  CommandStack stackFor(CommandType type) const;
  // The stack along the given types from the root, as far as they match.
  CommandStack stackAlong(const std::vector<CommandType>& types) const;

 private:
  struct Lean {};
  CommandTree(CommandType root, Lean /*tag*/);

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
