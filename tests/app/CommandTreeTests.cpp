// Every declaration of the program's tree is sound. A run builds only the
// path its command line names, so this test builds all of it.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ArgumentParser/Tree.h"
#include "app/KestruneCLI.h"

namespace kestrune {
namespace {

void expectSound(const argparse::CommandNode& node, const std::string& path) {
  std::set<std::string> names;
  for (const auto& child : node.children) {
    const std::string childPath = path + " " + child->name();
    EXPECT_FALSE(child->name().empty()) << childPath;
    EXPECT_TRUE(names.insert(child->name()).second) << "two children named" << childPath;
    for (const auto& alias : child->configuration().aliases) {
      EXPECT_TRUE(names.insert(alias).second) << "alias " << alias << " taken, at" << childPath;
    }
    expectSound(*child, childPath);
  }
  if (const auto fallback = node.configuration().defaultSubcommand) {
    EXPECT_NE(node.childOfType(fallback), nullptr) << "default subcommand not a child at" << path;
  }
}

TEST(CommandTree, EveryDeclarationIsSound) {
  // The whole tree stops the process on a self-subcommand or an alias that
  // repeats a name; the rest is checked here.
  argparse::CommandTree tree(argparse::command<KestruneCLI>());
  EXPECT_EQ(tree.root().children.size(), 13u);  // twelve commands and help
  expectSound(tree.root(), "kestrune");
}

}  // namespace
}  // namespace kestrune
