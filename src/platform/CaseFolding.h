#pragma once
// Comparing names as people read them: the simple case folding of Unicode
// ("Ünïcode" and "üNÏCODE" are the same name, as are "Σ", "σ" and "ς").
// Text that is not valid UTF-8 is compared byte for byte where it is not.

#include <string>
#include <string_view>

namespace platform {

// The code point's simple case folding (itself when it has none).
char32_t foldCodePoint(char32_t codePoint);

// The text with each code point folded; bytes that are not part of valid
// UTF-8 are kept as they are.
std::string foldCase(std::string_view text);

// Whether the texts are equal once folded.
bool equalsFoldingCase(std::string_view a, std::string_view b);

}  // namespace platform
