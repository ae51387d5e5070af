#pragma once
// Where in a JSON text a problem lies, as editors count: line and column.

#include <cstddef>
#include <string_view>

#include "json/Errors.h"

namespace kestrune::eq {

struct TextPosition {
  std::size_t line = 1;    // from 1
  std::size_t column = 1;  // from 1, in bytes
};

TextPosition positionOf(std::string_view text, std::size_t byteOffset);

// The byte offset of the value at `path` in a text that parses as JSON; when
// the path leads to a member or element that is not there, the offset of the
// deepest value on the way that is (the object missing a key, say). Keys
// are compared as written, so a key spelled with escapes is not matched
// and its object is found instead.
std::size_t offsetOf(std::string_view text, const json::CodingPath& path);

}  // namespace kestrune::eq
