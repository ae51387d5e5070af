#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace argparse {

struct CommandInfo;
using CommandType = const CommandInfo*;

// A failed check of parsed values; a usage error (status 64) whose message is
// printed with the usage line.
class ValidationError : public std::runtime_error {
 public:
  explicit ValidationError(const std::string& message) : std::runtime_error(message) {}
  std::string message() const { return what(); }
};

// Thrown to end the process with a status and no message of its own.
struct ExitCode {
  std::int32_t rawValue = 0;

  static const ExitCode success;
  static const ExitCode failure;
  static const ExitCode validationFailure;

  constexpr bool isSuccess() const { return rawValue == 0; }
  friend constexpr bool operator==(ExitCode a, ExitCode b) { return a.rawValue == b.rawValue; }
};
inline constexpr ExitCode ExitCode::success{0};
inline constexpr ExitCode ExitCode::failure{1};
inline constexpr ExitCode ExitCode::validationFailure{64};

// Thrown to end the process successfully: with a help screen (of the given
// command, or of the command being run), a message, or the help dump.
class CleanExit {
 public:
  enum class Kind { helpRequest, message, dumpRequest };

  static CleanExit helpRequest(CommandType command = nullptr) {
    return CleanExit(Kind::helpRequest, {}, command);
  }
  static CleanExit message(std::string text) {
    return CleanExit(Kind::message, std::move(text), nullptr);
  }
  static CleanExit dumpRequest(CommandType command = nullptr) {
    return CleanExit(Kind::dumpRequest, {}, command);
  }

  Kind kind() const { return kind_; }
  CommandType command() const { return command_; }
  const std::string& text() const { return text_; }
  // "--help", the message, or "--experimental-dump-help".
  std::string description() const {
    switch (kind_) {
      case Kind::helpRequest:
        return "--help";
      case Kind::message:
        return text_;
      case Kind::dumpRequest:
        return "--experimental-dump-help";
    }
    return {};
  }

 private:
  CleanExit(Kind kind, std::string text, CommandType command)
      : kind_(kind), text_(std::move(text)), command_(command) {}

  Kind kind_;
  std::string text_;
  CommandType command_;
};

}  // namespace argparse
