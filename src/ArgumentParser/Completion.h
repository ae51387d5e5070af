#pragma once
// The parse-time side of shell completion: the shell being served, the
// --generate-completion-script request and the scripts' custom-completion
// callbacks into the program.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ArgumentParser/CompletionsGenerator.h"
#include "ArgumentParser/Tree.h"

namespace argparse {

// The shell a script is being generated for, or that a custom completion is
// answering (from SAP_SHELL), when there is one.
std::optional<CompletionShell> currentCompletionShell();
// SAP_SHELL_VERSION while answering a custom completion; empty otherwise.
std::string currentCompletionShellVersion();

// The shell named by SHELL's last path component, if supported.
std::optional<CompletionShell> autodetectedShell();

// The script of the whole tree for the shell, with the shell recorded while
// it is generated.
std::string completionScript(const CommandTree& tree, CompletionShell shell);

// Answers a "---completion" call (the arguments after that word): the
// candidates joined by line breaks, empty when no argument matches.
std::string customCompletionResponse(const CommandTree& tree,
                                     const std::vector<std::string>& arguments);

}  // namespace argparse
