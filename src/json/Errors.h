#pragma once
// The errors of the JSON layer. Each carries a fixed, human-readable
// description that says what went wrong and where.

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace json {

// Malformed JSON text. Says what was found and at which byte (and, for
// multi-line input, which line and column); positions in the text are
// counted from 1, offset() from 0.
class ParseError : public std::exception {
 public:
  ParseError(std::string reason, std::size_t offset, std::size_t line, std::size_t column);

  const std::string& reason() const noexcept { return reason_; }
  std::size_t offset() const noexcept { return offset_; }  // 0-based byte offset
  std::size_t line() const noexcept { return line_; }      // 1-based
  std::size_t column() const noexcept { return column_; }  // 1-based, in bytes
  // "unexpected character '}' at byte 17"
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string reason_;
  std::size_t offset_;
  std::size_t line_;
  std::size_t column_;
  std::string description_;
};

// One step of a coding path: a member key or an array index.
struct CodingKey {
  std::string stringValue;
  std::optional<std::size_t> intValue;  // set for array indices

  static CodingKey key(std::string_view name) { return {std::string(name), std::nullopt}; }
  static CodingKey index(std::size_t i) { return {std::to_string(i), i}; }
  friend bool operator==(const CodingKey&, const CodingKey&) = default;
};

using CodingPath = std::vector<CodingKey>;

// "(root).data.devices[1].uid"
std::string pathText(const CodingPath& path);

// A value the encoder refuses (a non-finite number).
class EncodingError : public std::exception {
 public:
  EncodingError(std::string debugDescription, CodingPath path);

  const CodingPath& codingPath() const noexcept { return path_; }
  const std::string& debugDescription() const noexcept { return debugDescription_; }
  // "Unable to encode the number inf in JSON at (root).data.volume._0"
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string debugDescription_;
  CodingPath path_;
  std::string description_;
};

// JSON that does not have the shape a type requires.
class DecodingError : public std::exception {
 public:
  enum class Kind { typeMismatch, keyNotFound, dataCorrupted };

  DecodingError(Kind kind, CodingPath path, std::string debugDescription);
  // Syntax errors reached through a decode-from-text entry point.
  static DecodingError fromParseError(const ParseError& error);

  Kind kind() const noexcept { return kind_; }
  const CodingPath& codingPath() const noexcept { return path_; }
  const std::string& debugDescription() const noexcept { return debugDescription_; }
  // What the program prints after "Decoding failed: ", e.g.
  // "Expected to decode Bool but found a string at (root).success".
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  Kind kind_;
  CodingPath path_;
  std::string debugDescription_;
  std::string description_;
};

}  // namespace json
