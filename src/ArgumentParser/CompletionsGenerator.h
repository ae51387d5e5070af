#pragma once
// Completion scripts for zsh, bash and fish, generated from the help dump of
// the root command (whose subcommands end with the built-in `help` command).
//
// Scripts call the program back for custom completions as
//   <program> ---completion <subcommand names...> -- <argument id>
//             [<word index> <cursor offset in word>] <all words...>
// with SAP_SHELL and SAP_SHELL_VERSION exported. The argument id is the
// preferred name with its dashes ("--socket", "-s"), "positional@<index>"
// for positional arguments, "---" when neither can be found.

#include <optional>
#include <string>
#include <string_view>

#include "ArgumentParser/ToolInfo.h"

namespace argparse {

enum class CompletionShell { zsh, bash, fish };

// All shells, in their declared order.
inline constexpr CompletionShell allCompletionShells[] = {CompletionShell::zsh, CompletionShell::bash,
                                                          CompletionShell::fish};

// "zsh", "bash", "fish".
std::string_view rawValue(CompletionShell shell);
std::optional<CompletionShell> completionShellFromRaw(std::string_view raw);

// The whole script for the tree described by `rootDump`.
std::string completionScript(const ToolInfoV0& rootDump, CompletionShell shell);

// Per-shell generators, used by completionScript.
std::string zshCompletionScript(const CommandInfoV0& root);
std::string bashCompletionScript(const CommandInfoV0& root);
std::string fishCompletionScript(const CommandInfoV0& root);

// The argument identifier used in custom-completion callbacks: see above.
// `positionalIndex` is the argument's zero-based index among the command's
// positional arguments (ignored for named arguments).
std::string completionArgumentIdentifier(const ArgumentInfoV0& argument, std::size_t positionalIndex);

}  // namespace argparse
