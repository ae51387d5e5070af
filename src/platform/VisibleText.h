#pragma once
// Names that come from other programs (an app's name, a device's
// description, a player's title), made safe to print one record a line on a
// terminal.

#include <string>
#include <string_view>

namespace platform {

// The text with every character that would act on the terminal or on the
// layout, instead of showing, written as a backslash escape:
//   \a \b \t \n \v \f \r \e   for those C0 controls,
//   \xNN                      for the other C0 controls, DEL and each byte
//                             that is not UTF-8,
//   \uNNNN                    for the C1 controls (U+0080 to U+009F), the
//                             line and paragraph separators (U+2028, U+2029)
//                             and the bidirectional controls (U+061C, U+200E,
//                             U+200F, U+202A to U+202E, U+2066 to U+2069).
// Everything else, a backslash included, is kept as it is, so text without
// such characters comes back unchanged, and the result comes back unchanged
// from a second pass.
std::string visibleText(std::string_view text);

}  // namespace platform
