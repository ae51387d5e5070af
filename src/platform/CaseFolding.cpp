#include "platform/CaseFolding.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/CaseFoldingTable.h"
#include "platform/Utf8.h"

namespace platform {

namespace {

// One code point read from the front of the text and its length in bytes,
// or nothing when the text does not start with valid UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included).
struct Decoded {
  char32_t codePoint;
  std::size_t length;
};

std::optional<Decoded> decodeFront(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) {
    return Decoded{lead, 1};
  }
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0U) == 0xC0) {
    length = 2, value = lead & 0x1FU, minimum = 0x80;
  } else if ((lead & 0xF0U) == 0xE0) {
    length = 3, value = lead & 0x0FU, minimum = 0x800;
  } else if ((lead & 0xF8U) == 0xF0) {
    length = 4, value = lead & 0x07U, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() < length) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0U) != 0x80) {
      return std::nullopt;
    }
    value = (value << 6U) | (byte(i) & 0x3FU);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  return Decoded{value, length};
}

}  // namespace

char32_t foldCodePoint(char32_t codePoint) {
  const auto& runs = casefolding::runs;
  // The runs are in order and do not overlap: the first ending at or after
  // the code point is the only one that may hold it.
  const auto* run = std::lower_bound(
      runs.begin(), runs.end(), codePoint,
      [](const casefolding::Run& candidate, char32_t value) { return candidate.last < value; });
  if (run == runs.end() || codePoint < run->first || (codePoint - run->first) % run->stride != 0) {
    return codePoint;
  }
  return static_cast<char32_t>(static_cast<std::int64_t>(codePoint) + run->offset);
}

std::string foldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  while (!text.empty()) {
    const auto decoded = decodeFront(text);
    if (!decoded) {
      folded += text.front();
      text.remove_prefix(1);
      continue;
    }
    if (decoded->codePoint < 0x80) {
      const char c = text.front();
      folded += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    } else {
      appendUtf8(folded, foldCodePoint(decoded->codePoint));
    }
    text.remove_prefix(decoded->length);
  }
  return folded;
}

bool equalsFoldingCase(std::string_view a, std::string_view b) {
  if (a == b) {
    return true;
  }
  return foldCase(a) == foldCase(b);
}

}  // namespace platform
