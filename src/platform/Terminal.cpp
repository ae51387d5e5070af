#include "platform/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace platform {

namespace {

// A positive whole number spelled out completely; anything else is ignored so
// that a stray value cannot shrink the help text to nothing.
std::optional<int> positiveIntegerVariable(const char* name) {
  const char* raw = std::getenv(name);
  if (raw == nullptr) {
    return std::nullopt;
  }
  std::string_view text(raw);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
  }
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() || value <= 0) {
    return std::nullopt;
  }
  return value;
}

std::optional<TerminalSize> sizeOfStandardOutput() {
  winsize window{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) != 0) {
    return std::nullopt;
  }
  TerminalSize size;
  // A terminal that reports zero (not yet sized) keeps the defaults.
  if (window.ws_col > 0) {
    size.columns = window.ws_col;
  }
  if (window.ws_row > 0) {
    size.lines = window.ws_row;
  }
  return size;
}

}  // namespace

TerminalSize terminalSize() {
  const auto columns = positiveIntegerVariable("COLUMNS");
  const auto lines = positiveIntegerVariable("LINES");
  if (columns && lines) {
    return TerminalSize{*columns, *lines};
  }
  if (auto size = sizeOfStandardOutput()) {
    return *size;
  }
  return TerminalSize{};
}

}  // namespace platform
