#include "ArgumentParser/Tree.h"

#include <algorithm>
#include <deque>

#include "ArgumentParser/Naming.h"
#include "ArgumentParser/ParserError.h"

namespace argparse {

std::string commandName(CommandType type) {
  const auto& configuration = type->configuration();
  if (configuration.commandName) {
    return *configuration.commandName;
  }
  return convertCamelCase(type->typeName);
}

const CommandNode* CommandNode::child(std::string_view nameOrAlias) const {
  for (const auto& node : children) {
    if (node->name() == nameOrAlias) {
      return node.get();
    }
    const auto& aliases = node->configuration().aliases;
    if (std::find(aliases.begin(), aliases.end(), nameOrAlias) != aliases.end()) {
      return node.get();
    }
  }
  return nullptr;
}

const CommandNode* CommandNode::childOfType(CommandType childType) const {
  for (const auto& node : children) {
    if (node->type == childType) {
      return node.get();
    }
  }
  return nullptr;
}

namespace {

bool isAncestorOrSelf(const CommandNode* node, CommandType type) {
  for (; node != nullptr; node = node->parent) {
    if (node->type == type) {
      return true;
    }
  }
  return false;
}

void checkAliases(CommandType type) {
  const auto& aliases = type->configuration().aliases;
  if (std::find(aliases.begin(), aliases.end(), commandName(type)) != aliases.end()) {
    detail::fatalError("The command \"" + std::string(type->typeName) +
                       "\" can't have an alias with the same name as the command itself.");
  }
}

void addChildren(CommandNode& node) {
  for (CommandType childType : node.configuration().allSubcommands()) {
    // A command anywhere above would make the tree endless.
    if (isAncestorOrSelf(&node, childType)) {
      detail::fatalError("The command \"" + std::string(childType->typeName) +
                         "\" can't have itself as its own subcommand.");
    }
    checkAliases(childType);
    auto child = std::make_unique<CommandNode>();
    child->type = childType;
    child->parent = &node;
    addChildren(*child);
    node.children.push_back(std::move(child));
  }
}

}  // namespace

CommandTree::CommandTree(CommandType root) : root_(std::make_unique<CommandNode>()) {
  root_->type = root;
  checkAliases(root);
  addChildren(*root_);
  // A root without subcommands keeps "help" free as a value for its arguments.
  if (root_->children.empty()) {
    return;
  }
  auto help = std::make_unique<CommandNode>();
  help->type = command<HelpCommand>();
  help->parent = root_.get();
  root_->children.push_back(std::move(help));
}

CommandStack stackTo(const CommandNode& node) {
  CommandStack stack;
  for (const CommandNode* n = &node; n != nullptr; n = n->parent) {
    stack.push_back(n);
  }
  std::reverse(stack.begin(), stack.end());
  return stack;
}

std::vector<CommandType> typesOf(const CommandStack& stack) {
  std::vector<CommandType> types;
  types.reserve(stack.size());
  for (const CommandNode* node : stack) {
    types.push_back(node->type);
  }
  return types;
}

CommandStack CommandTree::stackFor(CommandType type) const {
  std::deque<const CommandNode*> queue{root_.get()};
  while (!queue.empty()) {
    const CommandNode* node = queue.front();
    queue.pop_front();
    if (node->type == type) {
      return stackTo(*node);
    }
    for (const auto& child : node->children) {
      queue.push_back(child.get());
    }
  }
  return {root_.get()};
}

CommandStack CommandTree::stackAlong(const std::vector<CommandType>& types) const {
  CommandStack stack{root_.get()};
  for (std::size_t i = 1; i < types.size(); ++i) {
    const CommandNode* next = stack.back()->childOfType(types[i]);
    if (next == nullptr) {
      break;
    }
    stack.push_back(next);
  }
  return stack;
}

void HelpCommand::run() {
  throw CommandError{requestedStack, ParserError::helpRequested(false)};
}

}  // namespace argparse
