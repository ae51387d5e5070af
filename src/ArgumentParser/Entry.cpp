// The framework's entry points and its exit path: the only place that ends
// the process.

#include <cstdlib>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/CommandParser.h"
#include "ArgumentParser/Completion.h"
#include "ArgumentParser/HelpGenerator.h"
#include "ArgumentParser/Messages.h"
#include "ArgumentParser/Naming.h"
#include "ArgumentParser/StandardStreams.h"

namespace argparse {

namespace {

constexpr int kReturnNormally = -1;

// Prints the message for an error; returns the status to exit with.
int report(const CommandTree& tree, const std::exception_ptr& error, const CommandStack& stack) {
  MessageInfo info = messageInfo(tree, error, stack);
  std::string text = info.fullText();
  if (!text.empty()) {
    text += '\n';
    (info.toStandardOutput() ? standardOutput() : standardError()).write(text);
  }
  return info.exitCode;
}

// Parses and runs; the status to exit with, or kReturnNormally after a
// successful run. Only the path named on the command line is built until
// something has to be reported: help screens, suggestions and dumps may
// describe any part of the tree.
int parseAndRun(CommandType root, const std::vector<std::string>& arguments) {
  CommandTree tree = CommandTree::lean(root);
  CommandStack stack{&tree.root()};
  try {
    ParseResult result = CommandParser(tree).parse(arguments);
    stack = result.stack;
    result.command->run();
    return kReturnNormally;
  } catch (...) {
    tree.growAll();
    return report(tree, std::current_exception(), stack);
  }
}

[[noreturn]] void exitProcess(int status) {
  (void)standardOutput().flush();  // a failed write has nowhere left to be reported
  std::exit(status);               // NOLINT(concurrency-mt-unsafe): single-threaded program
}

}  // namespace

void main(CommandType root, int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(argv[i]);  // NOLINT(cppcoreguidelines-pro-bounds-pointer-arithmetic)
  }
  main(root, arguments);
}

void main(CommandType root, const std::vector<std::string>& arguments) {
  int status = parseAndRun(root, arguments);
  if (status != kReturnNormally) {
    exitProcess(status);
  }
  (void)standardOutput().flush();  // commands that must report it flush themselves
}

std::unique_ptr<ParsableCommand> parseAsRoot(CommandType root,
                                             const std::vector<std::string>& arguments) {
  CommandTree tree(root);
  return CommandParser(tree).parse(arguments).command;
}

std::string detail::loneArgumentsName(std::string_view typeName) {
  std::string name = convertCamelCase(typeName, '_');
  const std::string suffix = "_options";
  if (name.size() > suffix.size() && name.ends_with(suffix)) {
    name.resize(name.size() - suffix.size());
  }
  return name;
}

void exit(CommandType root, const std::exception_ptr& error) {
  if (!error) {
    exitProcess(0);
  }
  CommandTree tree(root);
  exitProcess(report(tree, error, CommandStack{&tree.root()}));
}

std::string message(CommandType root, const std::exception_ptr& error) {
  CommandTree tree(root);
  return messageInfo(tree, error, CommandStack{&tree.root()}).message;
}

std::string fullMessage(CommandType root, const std::exception_ptr& error) {
  CommandTree tree(root);
  return messageInfo(tree, error, CommandStack{&tree.root()}).fullText();
}

ExitCode exitCode(CommandType root, const std::exception_ptr& error) {
  CommandTree tree(root);
  return ExitCode{messageInfo(tree, error, CommandStack{&tree.root()}).exitCode};
}

std::string helpMessage(CommandType root, CommandType subcommand, bool includeHidden,
                        std::optional<int> columns) {
  CommandTree tree(root);
  return helpMessage(tree.stackFor(subcommand ? subcommand : root), includeHidden, columns);
}

std::string usageString(CommandType root, CommandType subcommand, bool includeHidden) {
  CommandTree tree(root);
  return usageString(tree.stackFor(subcommand ? subcommand : root), includeHidden);
}

std::string completionScript(CommandType root, CompletionShell shell) {
  CommandTree tree(root);
  return completionScript(tree, shell);
}

Outcome execute(CommandType root, const std::vector<std::string>& arguments) {
  Outcome outcome;
  int status = 0;
  {
    CapturedStandardStreams captured;
    status = parseAndRun(root, arguments);
    outcome.out = captured.out();
    outcome.err = captured.err();
  }
  outcome.status = status == kReturnNormally ? 0 : status;
  return outcome;
}

}  // namespace argparse
