#include "completions/Installation.h"

#include "platform/Directories.h"
#include "platform/Files.h"

namespace kestrune::completions {

namespace {

std::string_view relativeDirectory(Shell shell) {
  return shell == Shell::zsh ? ".zsh/completions" : ".config/fish/completions";
}

std::string_view fileName(Shell shell) {
  return shell == Shell::zsh ? "_kestrune" : "kestrune.fish";
}

}  // namespace

std::string_view shellName(Shell shell) {
  return shell == Shell::zsh ? "zsh" : "fish";
}

argparse::CompletionShell completionShell(Shell shell) {
  return shell == Shell::zsh ? argparse::CompletionShell::zsh : argparse::CompletionShell::fish;
}

HomeDirectoryError::HomeDirectoryError()
    : std::runtime_error("The home directory of the current user could not be found.") {}

std::string currentHomeDirectory() {
  std::optional<std::string> home = platform::homeDirectory();
  if (!home || home->empty())
    throw HomeDirectoryError();
  return *home;
}

std::string completionsDirectory(const std::string& home, Shell shell) {
  return platform::appendingPathComponent(home, std::string(relativeDirectory(shell)));
}

std::string completionsFile(const std::string& home, Shell shell) {
  return platform::appendingPathComponent(completionsDirectory(home, shell),
                                          std::string(fileName(shell)));
}

std::string install(Shell shell, const std::string& script, const std::string& home) {
  platform::createDirectories(completionsDirectory(home, shell));
  std::string path = completionsFile(home, shell);
  platform::writeFileAtomically(path, script);

  std::string installed =
      "✓ Installed " + std::string(shellName(shell)) + " completions to " + path + "\n";
  if (shell == Shell::zsh) {
    return installed +
           "\n"
           "Add to ~/.zshrc if not already present:\n"
           "  fpath=(~/.zsh/completions $fpath)\n"
           "  autoload -Uz compinit && compinit\n";
  }
  return installed + "Restart fish or run:  source " + path + "\n";
}

std::string uninstall(Shell shell, const std::string& home) {
  std::string path = completionsFile(home, shell);
  std::string name(shellName(shell));
  if (!platform::pathExists(path))
    return "No " + name + " completions found at " + path + "\n";
  platform::removeItem(path);
  return "✓ Removed " + name + " completions from " + path + "\n";
}

}  // namespace kestrune::completions
