#pragma once

#include <string>
#include <string_view>

namespace argparse {

// Camel case to words joined by `separator`, all lower case: deviceUID gives
// device-uid, URLSession gives url-session, socketPath gives socket-path.
std::string convertCamelCase(std::string_view identifier, char separator = '-');

// A property name as the base of derived names: a leading underscore dropped.
std::string_view strippingLeadingUnderscore(std::string_view propertyName);

// The number of single-character insertions, deletions and substitutions
// that turn one text into the other.
std::size_t editDistance(std::string_view a, std::string_view b);

}  // namespace argparse
