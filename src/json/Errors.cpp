#include "json/Errors.h"

#include <utility>

namespace json {
namespace {

std::string locationText(std::size_t offset, std::size_t line, std::size_t column) {
  // Counted from 1, as editors count columns.
  std::string text = "at byte " + std::to_string(offset + 1);
  if (line > 1) {
    text += " (line " + std::to_string(line) + ", column " + std::to_string(column) + ")";
  }
  return text;
}

}  // namespace

ParseError::ParseError(std::string reason, std::size_t offset, std::size_t line, std::size_t column)
    : reason_(std::move(reason)),
      offset_(offset),
      line_(line),
      column_(column),
      description_(reason_ + " " + locationText(offset, line, column)) {}

std::string pathText(const CodingPath& path) {
  std::string text = "(root)";
  for (const CodingKey& key : path) {
    if (key.intValue) {
      text += "[" + key.stringValue + "]";
    } else {
      text += "." + key.stringValue;
    }
  }
  return text;
}

EncodingError::EncodingError(std::string debugDescription, CodingPath path)
    : debugDescription_(std::move(debugDescription)),
      path_(std::move(path)),
      description_(debugDescription_ + " at " + pathText(path_)) {}

DecodingError::DecodingError(Kind kind, CodingPath path, std::string debugDescription)
    : kind_(kind),
      path_(std::move(path)),
      debugDescription_(std::move(debugDescription)),
      description_(debugDescription_ + " at " + pathText(path_)) {}

DecodingError DecodingError::fromParseError(const ParseError& error) {
  DecodingError result(Kind::dataCorrupted, {},
                       "The data is not valid JSON: " + error.description());
  // The parse error already says where; a "(root)" suffix would add nothing.
  result.description_ = result.debugDescription_;
  return result;
}

}  // namespace json
