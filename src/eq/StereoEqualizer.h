#pragma once
// The equaliser's signal paths, for each of two channels in single
// precision at one sample rate: the ten bands (ten peaking sections in
// cascade), and a parametric preset (a preamp and its own filters).
// Standard library only: the sound-server plugin is built from this too.

#include <array>
#include <cstddef>

#include "eq/Bands.h"
#include "eq/BiquadSection.h"
#include "eq/Parametric.h"

namespace kestrune::eq {

class StereoEqualizer {
 public:
  explicit StereoEqualizer(double sampleRate);

  double sampleRate() const noexcept { return sampleRate_; }
  const BandGains& gains() const noexcept { return gains_; }

  // Redesigns the filters for these band gains (dB). The filters keep their
  // memory, so a change while playing does not click more than it must.
  void setGains(const BandGains& gains);
  // Forgets the signal so far (as after a pause).
  void reset() noexcept;

  // Filters `frames` frames. Output may be the same buffers as input.
  void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
               std::size_t frames) noexcept;

  // Whether every value the filters remember is zero or a normal number:
  // subnormal numbers make the arithmetic many times slower.
  bool memoryIsNormal() const noexcept;

 private:
  double sampleRate_;
  BandGains gains_{};
  std::array<BiquadSection, bandCount> sections_{};
};

class ParametricEqualizer {
 public:
  explicit ParametricEqualizer(double sampleRate) : sampleRate_(sampleRate) {}

  double sampleRate() const noexcept { return sampleRate_; }

  // Redesigns the filters; filters beyond the first maxFilters are left
  // out. Allocates: not for a real-time thread (see setFilter).
  void setPreset(const Parametric& preset);
  // The same one filter at a time, without allocating.
  void setPreamp(double preampDB) noexcept;
  void setFilter(std::size_t index, const ParametricFilter& filter) noexcept;
  // Leaves the filter at `index` out.
  void clearFilter(std::size_t index) noexcept;
  void reset() noexcept;

  void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
               std::size_t frames) noexcept;
  bool memoryIsNormal() const noexcept;

 private:
  double sampleRate_;
  float preampFactor_ = 1;
  std::array<BiquadSection, maxFilters> sections_{};
};

}  // namespace kestrune::eq
