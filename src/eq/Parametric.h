#pragma once
// Parametric presets: a preamp and up to twenty peaking or shelving
// filters, each at a frequency of its own, as headphone corrections are
// published. Standard library only: the sound-server plugin is built from
// this too.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "eq/FilterDesign.h"

namespace kestrune::eq {

enum class FilterType { peaking, lowShelf, highShelf };

struct ParametricFilter {
  FilterType type = FilterType::peaking;
  double frequency = 1000;  // Hz: the centre of a peak, the corner of a shelf
  double gain = 0;          // dB
  double q = 1;

  bool operator==(const ParametricFilter&) const = default;
};

struct Parametric {
  double preamp = 0;  // dB, applied to the whole signal
  std::vector<ParametricFilter> filters;

  bool operator==(const Parametric&) const = default;
};

inline constexpr std::size_t maxFilters = 20;
// What a filter may ask for: the audible range, the gains the ten bands
// allow, and widths from several octaves to a narrow notch.
inline constexpr double minimumFrequency = 10;
inline constexpr double maximumFrequency = 24000;
inline constexpr double minimumQ = 0.05;
inline constexpr double maximumQ = 20;
inline constexpr double minimumPreamp = -48;
inline constexpr double maximumPreamp = 24;

// "PK", "LSC", "HSC"; nothing for other words (matched ignoring ASCII case).
std::optional<FilterType> filterTypeNamed(std::string_view name);
std::string_view nameOf(FilterType type);

// The filter's section at this rate. A filter at or beyond the Nyquist
// frequency cannot be shaped there: a peak or high shelf is left out
// (neutral), a low shelf becomes its gain over the whole band.
Biquad designFilter(const ParametricFilter& filter, double sampleRate);

// The whole preset's gain in dB at a frequency: the preamp plus each
// filter's response.
double responseDB(const Parametric& preset, double frequency, double sampleRate);

// The highest gain of the whole preset from 20 Hz to 20 kHz, preamp
// included: above 0 dB, a full-scale signal there clips.
double peakGainDB(const Parametric& preset, double sampleRate = 48000);

}  // namespace kestrune::eq
