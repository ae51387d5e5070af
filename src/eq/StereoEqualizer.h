#pragma once
// The equaliser's signal path: ten peaking sections in cascade for each of
// two channels, in single precision, at one sample rate.
// Standard library only: the sound-server plugin is built from this too.

#include <array>
#include <cstddef>

#include "eq/Bands.h"
#include "eq/FilterDesign.h"

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
  struct Channel {
    float s1 = 0;
    float s2 = 0;
  };
  struct Section {
    float b0 = 1;
    float b1 = 0;
    float b2 = 0;
    float a1 = 0;
    float a2 = 0;
    bool neutral = true;  // passes the signal unchanged: skipped
    std::array<Channel, 2> channels;
  };

  static void run(Section& section, float* left, float* right, std::size_t frames) noexcept;

  double sampleRate_;
  BandGains gains_{};
  std::array<Section, bandCount> sections_{};
};

}  // namespace kestrune::eq
