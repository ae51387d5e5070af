// Command lines against the real command tree, in-process: the bytes after
// the first are split at NUL bytes into arguments; the first byte sets the
// terminal width. Parsing yields a command (never run here) or an error
// whose message, full text and exit status are all built; the help screen
// and usage line of the root are rendered at that width too.

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "ArgumentParser/ArgumentParser.h"
#include "FuzzSupport.h"
#include "app/KestruneCLI.h"

namespace {

std::vector<std::string> argumentsFrom(std::string_view bytes) {
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start <= bytes.size()) {
    const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
    arguments.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return arguments;
}

void setTerminalWidth(int columns) {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): the fuzzer runs inputs on one thread
  static_cast<void>(::setenv("COLUMNS", std::to_string(columns).c_str(), 1));
  static_cast<void>(::setenv("LINES", "25", 1));  // NOLINT(concurrency-mt-unsafe)
}

void renderError(argparse::CommandType root, const std::exception_ptr& error) {
  const std::string shortMessage = argparse::message(root, error);
  const std::string full = argparse::fullMessage(root, error);
  const int status = argparse::exitCode(root, error).rawValue;
  fuzzing::require(status == 0 || status == 1 || status == 64, "unexpected exit status");
  fuzzing::require(status != 64 || !full.empty(), "a usage error without a message");
  fuzzing::require(status != 0 || shortMessage.empty() || !full.empty(), "a lost message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const int columns = data[0];  // 0 is not a width: the default applies
  setTerminalWidth(columns);
  const auto root = argparse::command<kestrune::KestruneCLI>();
  std::vector<std::string> arguments;
  if (size > 1) {
    arguments = argumentsFrom(fuzzing::asText(data + 1, size - 1));
  }
  try {
    static_cast<void>(argparse::parseAsRoot(root, arguments));
  } catch (...) {
    renderError(root, std::current_exception());
  }
  static_cast<void>(argparse::helpMessage(root, nullptr, columns % 2 == 1, columns));
  static_cast<void>(argparse::usageString(root, nullptr, columns % 2 == 1));
  return 0;
}
