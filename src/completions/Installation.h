#pragma once
// Where the completion scripts of zsh and fish live under a home directory,
// and how they are installed and removed. The home directory is a parameter
// so that callers (and tests) choose it; currentHomeDirectory() gives the
// real one.

#include <stdexcept>
#include <string>
#include <string_view>

#include "ArgumentParser/CompletionsGenerator.h"

namespace kestrune::completions {

// The shells whose scripts the completions command manages.
enum class Shell { zsh, fish };

// "zsh" or "fish", as shown in messages.
std::string_view shellName(Shell shell);
argparse::CompletionShell completionShell(Shell shell);

// No home directory could be found for the current user.
class HomeDirectoryError : public std::runtime_error {
 public:
  HomeDirectoryError();
};

// The current user's home directory from the user database (not $HOME).
std::string currentHomeDirectory();

// <home>/.zsh/completions or <home>/.config/fish/completions.
std::string completionsDirectory(const std::string& home, Shell shell);
// <home>/.zsh/completions/_kestrune or <home>/.config/fish/completions/kestrune.fish.
std::string completionsFile(const std::string& home, Shell shell);

// Creates the directory and writes the script atomically, then returns what
// to print: where it went and how to activate it. Failures throw
// platform::FileError before anything is printed; an existing file is left
// as it was.
std::string install(Shell shell, const std::string& script, const std::string& home);

// Removes the shell's file when present; returns what to print. A missing
// file is not an error. Removal failures throw platform::FileError.
std::string uninstall(Shell shell, const std::string& home);

}  // namespace kestrune::completions
