#include "protocol/Text.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "platform/CaseFolding.h"

namespace kestrune {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return platform::equalsFoldingCase(a, b);
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) {
    if (!out.empty()) {
      out += ", ";
    }
    out += item;
  }
  return out;
}

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string percentText(double value) {
  std::array<char, 64> buffer{};
  const char* format = (value == std::floor(value)) ? "%.0f%%" : "%.2f%%";
  const int n = std::snprintf(buffer.data(), buffer.size(), format, value);
  std::string text(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
  // "42.50%" reads better as "42.5%".
  if (text.find('.') != std::string::npos) {
    text.pop_back();
    while (text.back() == '0') {
      text.pop_back();
    }
    text.push_back('%');
  }
  return text;
}

}  // namespace kestrune
