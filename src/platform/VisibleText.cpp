#include "platform/VisibleText.h"

#include <array>
#include <cstdint>
#include <optional>

#include "platform/Utf8.h"

namespace platform {

namespace {

// Controls that embed, override or isolate a direction, and the marks.
bool isBidiControl(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

bool isEscaped(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029 || isBidiControl(c);
}

void appendHex(std::string& out, std::uint32_t value, int digits) {
  constexpr std::string_view hexDigits = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out += hexDigits[(value >> static_cast<std::uint32_t>(shift)) & 0xFu];
  }
}

std::optional<char> shortEscape(char32_t c) {
  constexpr std::array<char, 7> bellToReturn = {'a', 'b', 't', 'n', 'v', 'f', 'r'};
  if (c >= 0x07 && c <= 0x0D) {
    return bellToReturn[c - 0x07];
  }
  if (c == 0x1B) {
    return 'e';
  }
  return std::nullopt;
}

void appendEscape(std::string& out, char32_t c) {
  out += '\\';
  if (const auto letter = shortEscape(c)) {
    out += *letter;
  } else if (c < 0x80) {
    out += 'x';
    appendHex(out, c, 2);
  } else {
    out += 'u';
    appendHex(out, c, 4);
  }
}

}  // namespace

std::string visibleText(std::string_view text) {
  std::string visible;
  std::size_t copied = 0;  // the text before it is in `visible` already
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto byte = static_cast<std::uint8_t>(text[pos]);
    if (byte >= 0x20 && byte < 0x7F) {
      ++pos;  // printable ASCII, by far the most of any name
      continue;
    }
    const std::size_t start = pos;
    const std::optional<char32_t> c = decodeUtf8(text, pos);
    if (c && !isEscaped(*c)) {
      continue;
    }
    visible.append(text.substr(copied, start - copied));
    if (c) {
      appendEscape(visible, *c);
    } else {
      visible += "\\x";
      appendHex(visible, byte, 2);
    }
    copied = pos;
  }
  if (copied == 0) {
    return std::string(text);
  }
  visible.append(text.substr(copied));
  return visible;
}

}  // namespace platform
