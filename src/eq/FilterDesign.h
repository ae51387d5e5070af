#pragma once
// Design of the equaliser's filters: one peaking biquad per band, with gains
// chosen so that the cascade's response at every band centre is the band's
// target. Neighbouring peaking filters overlap (at one octave a filter still
// has a good part of its gain), so the naive choice "filter gain = target"
// would overshoot wherever neighbours push the same way.
// Standard library only: the sound-server plugin is built from this too.

#include <array>
#include <complex>

#include "eq/Bands.h"

namespace kestrune::eq {

// A second-order section, normalised so that a0 = 1:
//   y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] - a1 y[n-1] - a2 y[n-2]
struct Biquad {
  double b0 = 1;
  double b1 = 0;
  double b2 = 0;
  double a1 = 0;
  double a2 = 0;
};

using FilterBank = std::array<Biquad, bandCount>;

// The bandwidth of every band's filter: one octave (Q = sqrt(2)).
inline constexpr double bandQ = 1.4142135623730951;

// Bands this close to the Nyquist frequency or above it cannot be shaped at
// this rate; their filters stay neutral and their targets are not pursued.
bool bandIsUsable(double frequency, double sampleRate);

// A peaking filter with `gainDB` at `frequency`, unity far from it (exactly
// unity at 0 Hz and at the Nyquist frequency).
Biquad peakingFilter(double frequency, double gainDB, double q, double sampleRate);
// Shelves with `gainDB` below (low) or above (high) the corner `frequency`,
// unity on the other side; `q` sets the slope at the corner as the peaking
// filter's does its width (0.707 is the steepest without overshoot).
Biquad lowShelfFilter(double frequency, double gainDB, double q, double sampleRate);
Biquad highShelfFilter(double frequency, double gainDB, double q, double sampleRate);

std::complex<double> response(const Biquad& filter, double frequency, double sampleRate);
// The magnitude of the cascade's response in decibels.
double responseDB(const FilterBank& bank, double frequency, double sampleRate);

// Both poles strictly inside the unit circle.
bool isStable(const Biquad& filter);

// The gains to give each band's peaking filter so that the cascade's
// response at each usable band centre equals the target (a Newton solve in
// decibels; the result is exact to a small fraction of a decibel).
BandGains compensatedGains(const BandGains& targets, double sampleRate);

// The cascade for the targets at this sample rate.
FilterBank designFilters(const BandGains& targets, double sampleRate);

}  // namespace kestrune::eq
