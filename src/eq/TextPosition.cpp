#include "eq/TextPosition.h"

#include <optional>

namespace kestrune::eq {

namespace {

// A scanner over text already known to be valid JSON: it only needs to find
// where values start and end, never to check them.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::size_t skipSpace(std::size_t at) const {
    while (at < text_.size() && isSpace(text_[at])) {
      ++at;
    }
    return at;
  }

  // The offset just past the value starting at `at`.
  std::size_t skipValue(std::size_t at) const {
    if (at >= text_.size()) {
      return at;
    }
    const char c = text_[at];
    if (c == '"') {
      return skipString(at);
    }
    if (c == '{' || c == '[') {
      return skipContainer(at);
    }
    while (at < text_.size() && !isSpace(text_[at]) && text_[at] != ',' && text_[at] != '}' &&
           text_[at] != ']') {
      ++at;
    }
    return at;
  }

  // The value of the last member named `key` of the object at `at`.
  std::optional<std::size_t> member(std::size_t at, std::string_view key) const {
    if (at >= text_.size() || text_[at] != '{') {
      return std::nullopt;
    }
    std::optional<std::size_t> found;
    at = skipSpace(at + 1);
    while (at < text_.size() && text_[at] == '"') {
      const std::size_t keyEnd = skipString(at);
      const std::string_view name = text_.substr(at + 1, keyEnd - at - 2);
      const std::size_t value = skipSpace(skipSpace(keyEnd) + 1);  // past ':'
      if (name == key) {
        found = value;  // the last one wins, as in the parser
      }
      at = skipSpace(skipValue(value));
      if (at < text_.size() && text_[at] == ',') {
        at = skipSpace(at + 1);
      }
    }
    return found;
  }

  // The element at `index` of the array at `at`.
  std::optional<std::size_t> element(std::size_t at, std::size_t index) const {
    if (at >= text_.size() || text_[at] != '[') {
      return std::nullopt;
    }
    at = skipSpace(at + 1);
    for (std::size_t i = 0; at < text_.size() && text_[at] != ']'; ++i) {
      if (i == index) {
        return at;
      }
      at = skipSpace(skipValue(at));
      if (at < text_.size() && text_[at] == ',') {
        at = skipSpace(at + 1);
      }
    }
    return std::nullopt;
  }

 private:
  static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

  std::size_t skipString(std::size_t at) const {
    ++at;  // opening quote
    while (at < text_.size() && text_[at] != '"') {
      at += text_[at] == '\\' ? 2 : 1;
    }
    return at + 1;
  }

  std::size_t skipContainer(std::size_t at) const {
    int depth = 0;
    while (at < text_.size()) {
      const char c = text_[at];
      if (c == '"') {
        at = skipString(at);
        continue;
      }
      if (c == '{' || c == '[') {
        ++depth;
      } else if (c == '}' || c == ']') {
        if (--depth == 0) {
          return at + 1;
        }
      }
      ++at;
    }
    return at;
  }

  std::string_view text_;
};

}  // namespace

TextPosition positionOf(std::string_view text, std::size_t byteOffset) {
  TextPosition position;
  for (std::size_t i = 0; i < byteOffset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++position.line;
      position.column = 1;
    } else {
      ++position.column;
    }
  }
  return position;
}

std::size_t offsetOf(std::string_view text, const json::CodingPath& path) {
  const Scanner scanner(text);
  std::size_t at = scanner.skipSpace(0);
  for (const json::CodingKey& step : path) {
    const std::optional<std::size_t> next =
        step.intValue ? scanner.element(at, *step.intValue) : scanner.member(at, step.stringValue);
    if (!next) {
      break;
    }
    at = *next;
  }
  return at;
}

}  // namespace kestrune::eq
