#pragma once
// The texts printed when parsing or running ends: error messages with their
// suggestions, and the full text with its stream and exit status.

#include <exception>
#include <string>

#include "ArgumentParser/ParserError.h"
#include "ArgumentParser/Tree.h"

namespace argparse {

// The message of one parse error at the stack where it happened.
std::string errorMessage(const CommandStack& stack, const ParserError& error);

// What to print for an outcome, where, and the status to exit with.
struct MessageInfo {
  enum class Kind { help, validation, other };

  Kind kind = Kind::other;
  std::string message;
  std::string helpLine;   // validation: "Help:  ..." line, empty when none
  std::string usagePart;  // validation: the "Usage: ..." lines or the help screen
  int exitCode = 0;

  // The whole text as printed (without the final line break).
  std::string fullText() const;
  bool toStandardOutput() const { return kind == Kind::help; }
};

// `stack` is where the error arose when the error itself does not say.
MessageInfo messageInfo(const CommandTree& tree, const std::exception_ptr& error,
                        const CommandStack& stack);

// The version shown by --version: that of the deepest command that has one.
std::string versionText(const CommandStack& stack);

}  // namespace argparse
