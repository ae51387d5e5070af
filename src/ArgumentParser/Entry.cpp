// The framework's entry points and its exit path: the only place that ends
// the process.

#include <cstdlib>
#include <iostream>
#include <sstream>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/CommandParser.h"
#include "ArgumentParser/Completion.h"
#include "ArgumentParser/HelpGenerator.h"
#include "ArgumentParser/Messages.h"
#include "ArgumentParser/Naming.h"

namespace argparse {

namespace {

constexpr int kReturnNormally = -1;

// Prints the message for an error; returns the status to exit with.
int report(const CommandTree& tree, const std::exception_ptr& error, const CommandStack& stack,
           std::ostream& out, std::ostream& err) {
  MessageInfo info = messageInfo(tree, error, stack);
  std::string text = info.fullText();
  if (!text.empty()) {
    (info.toStandardOutput() ? out : err) << text << '\n';
  }
  return info.exitCode;
}

// Parses and runs; the status to exit with, or kReturnNormally after a
// successful run.
int parseAndRun(CommandType root, const std::vector<std::string>& arguments, std::ostream& out,
                std::ostream& err) {
  CommandTree tree(root);
  CommandStack stack{&tree.root()};
  try {
    ParseResult result = CommandParser(tree).parse(arguments);
    stack = result.stack;
    result.command->run();
    return kReturnNormally;
  } catch (...) {
    return report(tree, std::current_exception(), stack, out, err);
  }
}

[[noreturn]] void exitProcess(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::exit(status);  // NOLINT(concurrency-mt-unsafe): single-threaded program
}

// Swaps a stream's buffer for a string buffer for the life of the scope.
class CapturedStream {
 public:
  explicit CapturedStream(std::ostream& stream) : stream_(stream), saved_(stream.rdbuf()) {
    stream_.rdbuf(captured_.rdbuf());
  }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  ~CapturedStream() { stream_.rdbuf(saved_); }
  std::string text() const { return captured_.str(); }

 private:
  std::ostream& stream_;
  std::streambuf* saved_;
  std::ostringstream captured_;
};

}  // namespace

void main(CommandType root, int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(argv[i]);  // NOLINT(cppcoreguidelines-pro-bounds-pointer-arithmetic)
  }
  main(root, arguments);
}

void main(CommandType root, const std::vector<std::string>& arguments) {
  int status = parseAndRun(root, arguments, std::cout, std::cerr);
  if (status != kReturnNormally) {
    exitProcess(status);
  }
  std::cout.flush();
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
  exitProcess(report(tree, error, CommandStack{&tree.root()}, std::cout, std::cerr));
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
    CapturedStream out(std::cout);
    CapturedStream err(std::cerr);
    status = parseAndRun(root, arguments, std::cout, std::cerr);
    outcome.out = out.text();
    outcome.err = err.text();
  }
  outcome.status = status == kReturnNormally ? 0 : status;
  return outcome;
}

}  // namespace argparse
