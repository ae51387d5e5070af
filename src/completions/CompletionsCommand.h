#pragma once
// The `completions` command group: prints, installs and removes the shell
// completion scripts of the whole program for zsh and fish.
//
// The script describes the whole tree, so the group is generic over the
// root command type; the program declares it among the root's subcommands
// as argparse::command<kestrune::CompletionsCommand<KestruneCLI>>() (the
// root type only needs to be declared, not complete, at that point).
// None of these commands contacts the application or takes GlobalOptions.

#include <string>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/CompletionsGenerator.h"
#include "completions/Installation.h"

namespace kestrune {

namespace completions {

// What the leaves do, for the root type's script.
template <typename Root>
struct Actions {
  static void generate(Shell shell) {
    print(argparse::completionScript<Root>(completionShell(shell)) + '\n');
  }
  static void install(Shell shell) {
    std::string home = currentHomeDirectory();
    // The script is made before any file is touched.
    std::string script = argparse::completionScript<Root>(completionShell(shell));
    print(completions::install(shell, script, home));
  }
  static void uninstall(Shell shell) {
    print(completions::uninstall(shell, currentHomeDirectory()));
  }

 private:
  static void print(const std::string& text) {
    argparse::standardOutput().write(text);
    (void)argparse::standardOutput().flush();  // like any text a command prints: status 0
  }
};

inline constexpr const char* completionsDiscussion =
    "Generate autocompletion scripts for zsh or fish.\n"
    "\n"
    "Examples:\n"
    "  kestrune completions zsh\n"
    "  kestrune completions zsh install\n"
    "  kestrune completions zsh uninstall\n"
    "  kestrune completions fish\n"
    "  kestrune completions fish install\n"
    "  kestrune completions fish uninstall";

}  // namespace completions

template <typename Root>
struct CompletionsCommand : argparse::ParsableCommand {
  using Shell = completions::Shell;

  struct Zsh : argparse::ParsableCommand {
    struct Generate : argparse::ParsableCommand {
      static argparse::CommandConfiguration configuration() {
        return {.abstract = "Print the zsh completion script"};
      }
      void run() override { completions::Actions<Root>::generate(Shell::zsh); }
    };
    struct Install : argparse::ParsableCommand {
      static argparse::CommandConfiguration configuration() {
        return {.abstract = "Install the zsh completion script"};
      }
      void run() override { completions::Actions<Root>::install(Shell::zsh); }
    };
    struct Uninstall : argparse::ParsableCommand {
      static argparse::CommandConfiguration configuration() {
        return {.abstract = "Uninstall zsh completions"};
      }
      void run() override { completions::Actions<Root>::uninstall(Shell::zsh); }
    };

    static argparse::CommandConfiguration configuration() {
      return {.commandName = "zsh",
              .abstract = "Generate or manage zsh completions",
              .subcommands = {argparse::command<Generate>(), argparse::command<Install>(),
                              argparse::command<Uninstall>()},
              .defaultSubcommand = argparse::command<Generate>()};
    }
  };

  struct Fish : argparse::ParsableCommand {
    struct Generate : argparse::ParsableCommand {
      static argparse::CommandConfiguration configuration() {
        return {.abstract = "Print the fish completion script"};
      }
      void run() override { completions::Actions<Root>::generate(Shell::fish); }
    };
    struct Install : argparse::ParsableCommand {
      static argparse::CommandConfiguration configuration() {
        return {.abstract = "Install the fish completion script"};
      }
      void run() override { completions::Actions<Root>::install(Shell::fish); }
    };
    struct Uninstall : argparse::ParsableCommand {
      static argparse::CommandConfiguration configuration() {
        return {.abstract = "Uninstall fish completions"};
      }
      void run() override { completions::Actions<Root>::uninstall(Shell::fish); }
    };

    static argparse::CommandConfiguration configuration() {
      return {.commandName = "fish",
              .abstract = "Generate or manage fish completions",
              .subcommands = {argparse::command<Generate>(), argparse::command<Install>(),
                              argparse::command<Uninstall>()},
              .defaultSubcommand = argparse::command<Generate>()};
    }
  };

  static argparse::CommandConfiguration configuration() {
    return {.commandName = "completions",
            .abstract = "Generate shell completion scripts",
            .discussion = completions::completionsDiscussion,
            .subcommands = {argparse::command<Zsh>(), argparse::command<Fish>()}};
  }
};

}  // namespace kestrune
