#pragma once
// Reading pactl's short listings in the tests.

#include <sstream>
#include <string>

namespace kestrune::test_pactl {

// The sample rate of a sink in `pactl list short sinks` output, 0 if absent.
inline unsigned sinkRateIn(const std::string& shortSinks, const std::string& sink) {
  std::istringstream lines(shortSinks);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string index;
    std::string name;
    std::string driver;
    std::string format;
    std::string channels;
    std::string rate;
    if (fields >> index >> name >> driver >> format >> channels >> rate && name == sink) {
      return static_cast<unsigned>(std::stoul(rate));
    }
  }
  return 0;
}

}  // namespace kestrune::test_pactl
