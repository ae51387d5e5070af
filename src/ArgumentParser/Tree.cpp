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

CommandNode::CommandNode(CommandType nodeType, const CommandNode* parentNode)
    : type(nodeType), parent(parentNode) {}

const std::string& CommandNode::name() const {
  if (!name_) {
    name_ = commandName(type);
    const auto& aliases = configuration().aliases;
    if (std::find(aliases.begin(), aliases.end(), *name_) != aliases.end()) {
      detail::fatalError("The command \"" + std::string(type->typeName) +
                         "\" can't have an alias with the same name as the command itself.");
    }
  }
  return *name_;
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

}  // namespace

CommandTree::CommandTree(CommandType root, Lean /*tag*/)
    : root_(std::make_unique<CommandNode>(root, nullptr)) {
  (void)root_->name();  // its checks
  grow(*root_);
}

CommandTree::CommandTree(CommandType root) : CommandTree(root, Lean{}) {
  growAll();
}

CommandTree CommandTree::lean(CommandType root) {
  return CommandTree(root, Lean{});
}

void CommandTree::grow(const CommandNode& node) {
  if (node.grown_) {
    return;
  }
  // Every node is owned, modifiable, by this tree; callers see it read-only.
  auto& owned = const_cast<CommandNode&>(node);
  owned.grown_ = true;
  for (CommandType childType : node.configuration().allSubcommands()) {
    // A command anywhere above would make the tree endless.
    if (isAncestorOrSelf(&node, childType)) {
      detail::fatalError("The command \"" + std::string(childType->typeName) +
                         "\" can't have itself as its own subcommand.");
    }
    owned.children.push_back(std::make_unique<CommandNode>(childType, &node));
  }
  // A root without subcommands keeps "help" free as a value for its arguments.
  if (&node == root_.get() && !node.children.empty()) {
    owned.children.push_back(std::make_unique<CommandNode>(command<HelpCommand>(), &node));
  }
}

void CommandTree::growAll() {
  std::vector<const CommandNode*> pending{root_.get()};
  while (!pending.empty()) {
    const CommandNode* node = pending.back();
    pending.pop_back();
    (void)node->name();  // its checks
    grow(*node);
    for (auto it = node->children.rbegin(); it != node->children.rend(); ++it) {
      pending.push_back(it->get());
    }
  }
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
