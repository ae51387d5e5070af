#pragma once
// Turns the command line into one populated, validated command by
// descending through the tree level by level.

#include <memory>
#include <string>
#include <vector>

#include "ArgumentParser/ArgumentDefinition.h"
#include "ArgumentParser/ParserError.h"
#include "ArgumentParser/SplitArguments.h"
#include "ArgumentParser/Tree.h"

namespace argparse {

struct ParseResult {
  CommandStack stack;
  std::unique_ptr<ParsableCommand> command;  // the last command of the stack
};

// The help names in force for a stack: those of the nearest command that
// sets them, else -h and --help.
std::vector<Name> helpNames(const CommandStack& stack);
// The first help name that is not short (--help by default).
std::string preferredHelpName(const CommandStack& stack);
// Whether any command of the stack has a version.
bool hasVersion(const CommandStack& stack);

class CommandParser {
 public:
  // The parser grows a lean tree along the command line; help, custom
  // completions and messages grow all of it.
  explicit CommandParser(CommandTree& tree) : tree_(tree) {}

  // Throws CommandError for every outcome other than a command to run.
  ParseResult parse(const std::vector<std::string>& arguments) const;

 private:
  ParseResult descend(SplitArguments& split) const;
  std::unique_ptr<ParsableCommand> parseLevel(const CommandStack& stack,
                                              SplitArguments& split) const;
  void checkCompletionScriptRequest(SplitArguments& split) const;
  void checkLeftovers(const CommandStack& stack, const SplitArguments& split) const;

  CommandTree& tree_;
};

// The values and flags of one command level, taken from the split command
// line (unknown options are left for other levels).
void parseArgumentSet(const ArgumentSet& set, SplitArguments& split, const CommandNode* node);

// Throws a help, dump or version request when its flag is among the unused
// elements.
void checkForBuiltInFlags(const CommandStack& stack, const SplitArguments& split);

}  // namespace argparse
