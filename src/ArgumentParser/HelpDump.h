#pragma once
// The machine-readable description of the command tree.

#include <string>

#include "ArgumentParser/ToolInfo.h"
#include "ArgumentParser/Tree.h"

namespace argparse {

// The records from the stack's last command down; the built-in `help`
// command is appended to that command's subcommands.
ToolInfoV0 toolInfo(const CommandStack& stack);

// The dump as printed by --experimental-dump-help.
std::string dumpHelp(const CommandStack& stack);

}  // namespace argparse
