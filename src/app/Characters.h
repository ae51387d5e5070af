#pragma once
// Counting user-perceived characters in UTF-8 text, so that table columns
// line up for accented names, emoji sequences and flags.

#include <cstddef>
#include <string_view>

namespace kestrune {

// The number of extended grapheme clusters in the text. Covers combining
// marks, variation selectors, emoji modifiers and ZWJ sequences, regional
// indicator pairs and Hangul syllables; each malformed byte counts as one.
std::size_t characterCount(std::string_view utf8);

// The longest prefix of the text holding at most `count` characters.
std::string_view characterPrefix(std::string_view utf8, std::size_t count);

}  // namespace kestrune
