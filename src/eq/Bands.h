#pragma once
// The ten bands of the equaliser, one octave apart from 32 Hz to 16 kHz.
// Standard library only: the sound-server plugin is built from this too.

#include <array>
#include <cstddef>

namespace kestrune::eq {

inline constexpr std::size_t bandCount = 10;

inline constexpr std::array<double, bandCount> bandFrequencies = {32,   64,   125,  250,  500,
                                                                  1000, 2000, 4000, 8000, 16000};

// One gain per band in decibels, in the order of bandFrequencies.
using BandGains = std::array<double, bandCount>;

// The range a band's gain may take, wide enough for any sensible preset and
// narrow enough that the compensated filters stay well behaved.
inline constexpr double minimumGain = -24;
inline constexpr double maximumGain = 24;

}  // namespace kestrune::eq
