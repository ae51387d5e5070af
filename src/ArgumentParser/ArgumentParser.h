#pragma once
// The command-line framework: declare commands as types, then hand the
// process arguments to argparse::main<Root>().
//
// Worked example (a root with a version, a group with a default subcommand,
// a leaf with a positional double, an enumeration option with a default, an
// optional enumeration option and an option group):
//
//   enum class Side { left, right };
//   namespace argparse {
//   template <>
//   struct EnumStrings<Side> {
//     static constexpr std::pair<Side, std::string_view> cases[] = {
//         {Side::left, "left"}, {Side::right, "right"}};
//   };
//   }  // namespace argparse
//
//   struct CommonOptions : argparse::ParsableArguments {
//     argparse::Flag json{this, "json", {.help = {"Output raw JSON for scripting."}}};
//     argparse::Option<std::optional<std::string>> socket{
//         this, "socket", {.help = {"Custom socket path (default: auto-detected)."}}};
//   };
//
//   struct LevelCommand : argparse::ParsableCommand {
//     static argparse::CommandConfiguration configuration() {
//       return {.commandName = "level",
//               .abstract = "Get or set the level",
//               .subcommands = {argparse::command<Get>(), argparse::command<Set>()},
//               .defaultSubcommand = argparse::command<Get>()};
//     }
//
//     struct Get : argparse::ParsableCommand {  // named "get" from the type
//       static argparse::CommandConfiguration configuration() {
//         return {.abstract = "Get the level"};
//       }
//       argparse::OptionGroup<CommonOptions> options{this, "options"};
//       void run() override { /* ... */ }
//     };
//
//     struct Set : argparse::ParsableCommand {
//       static argparse::CommandConfiguration configuration() {
//         return {.abstract = "Set the level"};
//       }
//       argparse::Argument<double> level{this, "level", {.help = {"Level (0-100)."}}};
//       // -s/--side, default shown in help as "(values: left, right; default: right)"
//       argparse::Option<Side> side{this, "side",
//                                   {.name = argparse::NameSpecification::shortAndLong(),
//                                    .help = {"Which side."},
//                                    .defaultValue = Side::right}};
//       argparse::Option<std::optional<Side>> only{this, "only", {.help = {"Limit to a side."}}};
//       argparse::OptionGroup<CommonOptions> options{this, "options"};
//       void run() override {
//         if (!(*level >= 0 && *level <= 100)) {
//           throw argparse::ValidationError("Level must be between 0 and 100.");
//         }
//         if (only->has_value()) { /* **only is a Side */ }
//         bool json = options->json;  // members read like their values
//         (void)json;
//       }
//     };
//   };
//
//   struct Tool : argparse::ParsableCommand {
//     static argparse::CommandConfiguration configuration() {
//       return {.commandName = "tool", .abstract = "A tool", .version = "1.0.0",
//               .subcommands = {argparse::command<LevelCommand>()}};
//     }
//   };  // no run(): "tool" alone prints its help
//
//   int main(int argc, char** argv) {
//     argparse::main<Tool>(argc, argv);
//     return 0;
//   }
//
// Property names are given once, as the second constructor argument; option
// names, value names and command names are derived from them and from the
// type name (camel case to hyphens: deviceUID gives device-uid). Command
// configurations are built once, on first use. Errors thrown from run()
// reach the exit path: an ExitCode ends with its status and no message,
// ValidationError prints the message and usage (status 64), CleanExit ends
// successfully, any other std::exception prints "Error: " + what() (status 1).
// Commands print through standardOutput() and standardError(), which the
// framework flushes on its way out and execute() captures.

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ArgumentParser/ArgumentHelp.h"
#include "ArgumentParser/CommandConfiguration.h"
#include "ArgumentParser/CompletionKind.h"
#include "ArgumentParser/Errors.h"
#include "ArgumentParser/ExpressibleByArgument.h"
#include "ArgumentParser/Name.h"
#include "ArgumentParser/ParsableArguments.h"
#include "ArgumentParser/StandardStreams.h"

namespace argparse {

enum class CompletionShell;  // zsh, bash, fish; defined with the script generator

// Parses the process arguments (argv[0] dropped) against the tree of `root`,
// runs the leaf command and returns; every failure, help or version request
// ends the process through exit().
void main(CommandType root, int argc, char** argv);
void main(CommandType root, const std::vector<std::string>& arguments);
template <typename Root>
void main(int argc, char** argv) {
  main(command<Root>(), argc, argv);
}
template <typename Root>
void main(const std::vector<std::string>& arguments) {
  main(command<Root>(), arguments);
}

// The populated, validated leaf command for the arguments, or a thrown error.
std::unique_ptr<ParsableCommand> parseAsRoot(CommandType root,
                                             const std::vector<std::string>& arguments);
template <typename Root>
std::unique_ptr<ParsableCommand> parseAsRoot(const std::vector<std::string>& arguments) {
  return parseAsRoot(command<Root>(), arguments);
}

namespace detail {
// A lone group's command name: its type name with underscores, without a
// trailing "_options" (ServerOptions gives "server").
std::string loneArgumentsName(std::string_view typeName);

template <typename A>
struct LoneArguments : ParsableCommand {
  static CommandConfiguration configuration() {
    return {.commandName = loneArgumentsName(typeName<A>())};
  }
  OptionGroup<A> arguments{this, "arguments"};
  void run() override {}
};
}  // namespace detail

// Parses one group of arguments that has no subcommands; throws like parseAsRoot.
template <typename A>
std::shared_ptr<A> parse(const std::vector<std::string>& arguments) {
  std::shared_ptr<ParsableCommand> parsed =
      parseAsRoot(command<detail::LoneArguments<A>>(), arguments);
  auto& lone = static_cast<detail::LoneArguments<A>&>(*parsed);
  return std::shared_ptr<A>(parsed, &lone.arguments.mutableValue());
}

// The exit path: prints the message for `error` to the stream it belongs to
// and ends the process with its status. A null error exits with 0.
[[noreturn]] void exit(CommandType root, const std::exception_ptr& error);
// The short message, the full text printed on exit, and the status.
std::string message(CommandType root, const std::exception_ptr& error);
std::string fullMessage(CommandType root, const std::exception_ptr& error);
ExitCode exitCode(CommandType root, const std::exception_ptr& error);

// The help screen and usage line of `subcommand` (the root when null) in the
// tree of `root`; columns default to the terminal width.
std::string helpMessage(CommandType root, CommandType subcommand = nullptr,
                        bool includeHidden = false, std::optional<int> columns = std::nullopt);
std::string usageString(CommandType root, CommandType subcommand = nullptr,
                        bool includeHidden = false);

// The completion script of the whole tree of `root`.
std::string completionScript(CommandType root, CompletionShell shell);
template <typename Root>
std::string completionScript(CompletionShell shell) {
  return completionScript(command<Root>(), shell);
}

// Runs the program in-process as main() would, capturing what it writes to
// standardOutput() and standardError() and the status it would exit with.
struct Outcome {
  std::string out;
  std::string err;
  int status = 0;
};
Outcome execute(CommandType root, const std::vector<std::string>& arguments);
template <typename Root>
Outcome execute(const std::vector<std::string>& arguments) {
  return execute(command<Root>(), arguments);
}

}  // namespace argparse
