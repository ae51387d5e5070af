#include "ArgumentParser/Naming.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <vector>

namespace argparse {

namespace {
bool isUpper(char c) {
  return std::isupper(static_cast<unsigned char>(c)) != 0;
}
bool isLower(char c) {
  return std::islower(static_cast<unsigned char>(c)) != 0;
}
char toLower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
}  // namespace

std::string convertCamelCase(std::string_view identifier, char separator) {
  std::string result;
  result.reserve(identifier.size() + 4);
  bool separateBeforeUpper = false;
  for (std::size_t i = 0; i < identifier.size(); ++i) {
    char c = identifier[i];
    if (isUpper(c)) {
      if (!result.empty() && separateBeforeUpper) {
        result += separator;
      }
      // Inside an acronym, separate only before its last capital when a
      // lower-case letter follows: URLSession -> url-session.
      separateBeforeUpper =
          i + 2 < identifier.size() && isUpper(identifier[i + 1]) && isLower(identifier[i + 2]);
    } else {
      separateBeforeUpper = c != separator;
    }
    result += toLower(c);
  }
  return result;
}

std::string_view strippingLeadingUnderscore(std::string_view propertyName) {
  if (!propertyName.empty() && propertyName.front() == '_') {
    propertyName.remove_prefix(1);
  }
  return propertyName;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
  if (a.empty()) {
    return b.size();
  }
  if (b.empty()) {
    return a.size();
  }
  std::vector<std::size_t> previous(b.size() + 1);
  std::iota(previous.begin(), previous.end(), std::size_t{0});
  std::vector<std::size_t> current(b.size() + 1);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
    }
    std::swap(previous, current);
  }
  return previous[b.size()];
}

}  // namespace argparse
