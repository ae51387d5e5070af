#include "ArgumentParser/ExpressibleByArgument.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>

namespace argparse::detail {

namespace {
// from_chars does not take a leading plus sign; a command line may.
std::string_view withoutPlus(std::string_view text) {
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
    text.remove_prefix(1);
  }
  return text;
}

template <typename I>
std::optional<I> parseIntegral(std::string_view text) {
  text = withoutPlus(text);
  I value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    return std::nullopt;
  }
  return value;
}
}  // namespace

std::optional<std::intmax_t> parseSigned(std::string_view text) {
  return parseIntegral<std::intmax_t>(text);
}

std::optional<std::uintmax_t> parseUnsigned(std::string_view text) {
  if (!text.empty() && text.front() == '-') {
    return std::nullopt;
  }
  return parseIntegral<std::uintmax_t>(text);
}

std::optional<double> parseDouble(std::string_view text) {
  // strtod skips leading white space; a whole argument must be the number.
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) != 0) {
    return std::nullopt;
  }
  std::string copy(text);  // strtod needs a terminated string
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) {
    return std::nullopt;
  }
  return value;
}

std::string describeDouble(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) {
    return std::to_string(value);
  }
  std::string text(buffer, ptr);
  if (text.find_first_not_of("-0123456789") == std::string::npos) {
    text += ".0";  // an integral value keeps one fractional digit
  }
  return text;
}

}  // namespace argparse::detail
