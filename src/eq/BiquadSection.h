#pragma once
// One second-order section of a stereo cascade in single precision, with
// its memory for each channel. Standard library only: the sound-server
// plugin is built from this too.

#include <array>
#include <cstddef>
#include <span>

#include "eq/FilterDesign.h"

namespace kestrune::eq {

struct BiquadSection {
  struct Channel {
    float s1 = 0;
    float s2 = 0;
  };
  float b0 = 1;
  float b1 = 0;
  float b2 = 0;
  float a1 = 0;
  float a2 = 0;
  bool neutral = true;  // passes the signal unchanged: skipped
  std::array<Channel, 2> channels;

  // New coefficients; the memory stays, so a change while playing does not
  // click more than it must (a section turning neutral forgets it).
  void design(const Biquad& filter) noexcept;
  void reset() noexcept { channels = {}; }
  // Whether every value it remembers is zero or a normal number.
  bool memoryIsNormal() const noexcept;
};

// Filters both channels in place through every section that is not
// neutral, in order.
void runCascade(std::span<BiquadSection> sections, float* left, float* right,
                std::size_t frames) noexcept;

// Added to the input of a cascade: after loud audio turns to silence the
// filters' memory would decay into subnormal numbers, which cost tens of
// times more per operation on most processors. A constant this small
// (-300 dB) keeps every value normal.
inline constexpr float antiDenormal = 1e-15F;

}  // namespace kestrune::eq
