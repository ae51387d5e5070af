#pragma once
// The expected response of peaking and shelving filters, written out from
// the audio-EQ cookbook's formulas for the tests alone, so that what the
// plugin does is judged against the formulas and not against its own code.

#include <cmath>
#include <complex>
#include <numbers>
#include <string>

namespace kestrune::test_audio {

// "PK", "LSC" or "HSC", as the profile files name them.
struct CookbookFilter {
  std::string type;
  double frequency = 1000;
  double gain = 0;
  double q = 1;
};

// The filter's gain in dB at `frequency`, sampled at `rate`.
inline double cookbookGainDB(const CookbookFilter& f, double frequency, double rate) {
  const double bigA = std::pow(10.0, f.gain / 40);
  const double w0 = 2 * std::numbers::pi * f.frequency / rate;
  const double cw = std::cos(w0);
  const double alpha = std::sin(w0) / (2 * f.q);
  const double root = 2 * std::sqrt(bigA) * alpha;
  double b[3];
  double a[3];
  if (f.type == "PK") {
    b[0] = 1 + alpha * bigA;
    b[1] = -2 * cw;
    b[2] = 1 - alpha * bigA;
    a[0] = 1 + alpha / bigA;
    a[1] = -2 * cw;
    a[2] = 1 - alpha / bigA;
  } else if (f.type == "LSC") {
    b[0] = bigA * ((bigA + 1) - (bigA - 1) * cw + root);
    b[1] = 2 * bigA * ((bigA - 1) - (bigA + 1) * cw);
    b[2] = bigA * ((bigA + 1) - (bigA - 1) * cw - root);
    a[0] = (bigA + 1) + (bigA - 1) * cw + root;
    a[1] = -2 * ((bigA - 1) + (bigA + 1) * cw);
    a[2] = (bigA + 1) + (bigA - 1) * cw - root;
  } else {  // HSC
    b[0] = bigA * ((bigA + 1) + (bigA - 1) * cw + root);
    b[1] = -2 * bigA * ((bigA - 1) + (bigA + 1) * cw);
    b[2] = bigA * ((bigA + 1) + (bigA - 1) * cw - root);
    a[0] = (bigA + 1) - (bigA - 1) * cw + root;
    a[1] = 2 * ((bigA - 1) - (bigA + 1) * cw);
    a[2] = (bigA + 1) - (bigA - 1) * cw - root;
  }
  const std::complex<double> z = std::polar(1.0, -2 * std::numbers::pi * frequency / rate);
  const std::complex<double> h =
      (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z);
  return 20 * std::log10(std::abs(h));
}

}  // namespace kestrune::test_audio
