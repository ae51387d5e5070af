#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Appends the UTF-8 bytes of one code point (the caller has checked that it is
// a scalar value, at most U+10FFFF and not a surrogate).
inline void appendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// Decodes the code point at `pos` and advances past it. A malformed or
// truncated sequence (an overlong form, a surrogate, a value above
// U+10FFFF) gives nothing and advances one byte.
inline std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(pos);
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    minimum = 0x10000;
  } else {
    ++pos;
    return std::nullopt;
  }
  if (pos + length > text.size()) {
    ++pos;
    return std::nullopt;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = byte(pos + i);
    if ((next & 0xC0u) != 0x80u) {
      ++pos;
      return std::nullopt;
    }
    value = (value << 6) | (next & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++pos;
    return std::nullopt;
  }
  pos += length;
  return value;
}

}  // namespace platform
