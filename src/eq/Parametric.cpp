#include "eq/Parametric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace kestrune::eq {

namespace {

constexpr std::array<std::pair<std::string_view, FilterType>, 3> typeNames = {{
    {"PK", FilterType::peaking},
    {"LSC", FilterType::lowShelf},
    {"HSC", FilterType::highShelf},
}};

bool sameASCIIWord(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

// Within this fraction of the Nyquist frequency the bilinear transform
// squeezes a filter beyond recognition.
constexpr double usableFraction = 0.49;

// Points per octave when looking for the highest gain: a filter of Q 20 is
// a twentieth of an octave wide, so its peak is never missed by more than a
// small fraction of a decibel.
constexpr int pointsPerOctave = 96;

}  // namespace

std::optional<FilterType> filterTypeNamed(std::string_view name) {
  for (const auto& [text, type] : typeNames) {
    if (sameASCIIWord(text, name)) {
      return type;
    }
  }
  return std::nullopt;
}

std::string_view nameOf(FilterType type) {
  for (const auto& [text, named] : typeNames) {
    if (named == type) {
      return text;
    }
  }
  return "PK";
}

Biquad designFilter(const ParametricFilter& filter, double sampleRate) {
  if (filter.gain == 0) {
    return Biquad{};
  }
  if (filter.frequency >= usableFraction * sampleRate) {
    if (filter.type != FilterType::lowShelf) {
      return Biquad{};
    }
    return Biquad{std::pow(10.0, filter.gain / 20), 0, 0, 0, 0};
  }
  switch (filter.type) {
    case FilterType::lowShelf:
      return lowShelfFilter(filter.frequency, filter.gain, filter.q, sampleRate);
    case FilterType::highShelf:
      return highShelfFilter(filter.frequency, filter.gain, filter.q, sampleRate);
    case FilterType::peaking:
      break;
  }
  return peakingFilter(filter.frequency, filter.gain, filter.q, sampleRate);
}

double responseDB(const Parametric& preset, double frequency, double sampleRate) {
  double sum = preset.preamp;
  for (const ParametricFilter& filter : preset.filters) {
    sum += 20 * std::log10(std::abs(response(designFilter(filter, sampleRate), frequency,
                                             sampleRate)));
  }
  return sum;
}

double peakGainDB(const Parametric& preset, double sampleRate) {
  constexpr double lowest = 20;
  constexpr double highest = 20000;
  const int points = static_cast<int>(std::log2(highest / lowest) * pointsPerOctave);
  double peak = responseDB(preset, lowest, sampleRate);
  for (int i = 1; i <= points; ++i) {
    const double frequency = lowest * std::exp2(static_cast<double>(i) / pointsPerOctave);
    peak = std::max(peak, responseDB(preset, std::min(frequency, highest), sampleRate));
  }
  return peak;
}

}  // namespace kestrune::eq
