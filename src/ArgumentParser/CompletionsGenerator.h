#pragma once
// Completion scripts for zsh, bash and fish, generated from the help dump of
// the root command (whose subcommands end with the built-in `help` command).
//
// Scripts call the program back for custom completions as
//   <program> ---completion <subcommand names below the root...> -- <argument id>
//             [<word index> <cursor offset in word>] <all words...>
// with SAP_SHELL and SAP_SHELL_VERSION exported. The argument id is the
// preferred name with its dashes ("--socket", "-s"), "positional@<index>"
// (zero-based among the command's positional arguments, hidden ones
// included) for positional arguments, "---" when neither can be found. The
// word index and cursor offset are given only for the custom and
// customAsync kinds; the words start with the program name as typed, and the
// word index counts from 0 (the program name). The response is the
// candidates, each followed by a line feed; the zsh script drops the empty
// text after the final line feed.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ArgumentParser/ToolInfo.h"

namespace argparse {

enum class CompletionShell { zsh, bash, fish };

// All shells, in their declared order.
inline constexpr CompletionShell allCompletionShells[] = {
    CompletionShell::zsh, CompletionShell::bash, CompletionShell::fish};

// "zsh", "bash", "fish".
std::string_view rawValue(CompletionShell shell);
std::optional<CompletionShell> completionShellFromRaw(std::string_view raw);

// The whole script for the tree described by `rootDump`.
std::string completionScript(const ToolInfoV0& rootDump, CompletionShell shell);

// Per-shell generators, used by completionScript.
std::string zshCompletionScript(const CommandInfoV0& root);
std::string bashCompletionScript(const CommandInfoV0& root);
std::string fishCompletionScript(const CommandInfoV0& root);

// Pieces shared by the three generators.
namespace completion_support {

// A command of the tree with the names from the root down to it.
struct CommandPath {
  const CommandInfoV0* command;
  std::vector<std::string> names;  // root first
};

// Every command offered to the user, the root first, each followed by its
// descendants (depth first). Hidden commands and their subtrees are left out.
std::vector<CommandPath> offeredCommands(const CommandInfoV0& root);

std::vector<const CommandInfoV0*> offeredSubcommands(const CommandInfoV0& command);
// Arguments shown in help, in declaration order.
std::vector<const ArgumentInfoV0*> offeredArguments(const CommandInfoV0& command);
// Offered positionals; those after a repeating one are left out.
std::vector<const ArgumentInfoV0*> offeredPositionals(const CommandInfoV0& command);
// All positionals, hidden ones included (the parser counts them all).
std::vector<const ArgumentInfoV0*> allPositionals(const CommandInfoV0& command);
bool hasRepeatingPositional(const CommandInfoV0& command);

bool isNamed(const ArgumentInfoV0& argument);
bool takesValue(const ArgumentInfoV0& argument);
// Repeats with one value (or none) per occurrence, so it may be given again.
bool repeatsPerOccurrence(const ArgumentInfoV0& argument);
std::vector<NameInfoV0> namesOf(const ArgumentInfoV0& argument);
// "--long", "-s", "-single".
std::string dashedName(const NameInfoV0& name);

// The argument identifier used in custom-completion callbacks.
std::string argumentIdentifier(const CommandInfoV0& command, const ArgumentInfoV0& argument);
// "---completion " + the subcommand names below the root, each followed by a
// space, + "-- " + the argument identifier.
std::string callbackArguments(const CommandPath& path, const ArgumentInfoV0& argument);

// Each single quote replaced by '\'' for one level of single quoting.
std::string singleQuoteEscaped(std::string_view text);
std::string singleQuoted(std::string_view text);
std::string joined(const std::vector<std::string>& parts, std::string_view separator);
// Fixed script fragments name their helpers "__%ROOT%_..."; this puts the
// root command's name in.
std::string withRootName(std::string_view fragment, std::string_view rootName);

}  // namespace completion_support
}  // namespace argparse
