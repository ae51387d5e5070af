#pragma once
// Small text helpers for matching what users type and for the messages that
// answer them.

#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// Equal when the texts differ at most in letter case, by Unicode's simple
// case folding ("É" and "é" too); bytes that are not valid UTF-8 must match
// exactly.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The items joined by ", ".
std::string joined(const std::vector<std::string>& items);

// The text in double quotes, as error messages show what the user typed.
std::string quoted(std::string_view text);

// A percentage for messages: whole values without a fraction ("40%"), others
// with up to two decimals ("42.5%").
std::string percentText(double value);

}  // namespace kestrune
