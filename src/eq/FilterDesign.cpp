#include "eq/FilterDesign.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrune::eq {

namespace {

using Matrix = std::array<std::array<double, bandCount>, bandCount>;

// Newton steps: the dB response of a peaking filter is nearly linear in its
// gain, so three or four steps reach the targets to well under 0.01 dB.
constexpr int maxSteps = 12;
constexpr double goodEnoughDB = 1e-4;
constexpr double derivativeStepDB = 0.01;
// The solve may ask for more than the targets' range where neighbours work
// against each other; beyond this the filters would only fight each other.
constexpr double compensatedLimit = 2 * maximumGain;

// One filter's response in dB at a frequency, as a function of its gain.
double bandResponseDB(std::size_t band, double gainDB, double frequency, double sampleRate) {
  const Biquad filter = peakingFilter(bandFrequencies[band], gainDB, bandQ, sampleRate);
  return 20 * std::log10(std::abs(response(filter, frequency, sampleRate)));
}

// Solves a x = b by Gaussian elimination with partial pivoting; false when
// the matrix is singular.
bool solve(Matrix a, BandGains b, BandGains& x) {
  for (std::size_t col = 0; col < bandCount; ++col) {
    std::size_t pivot = col;
    for (std::size_t row = col + 1; row < bandCount; ++row) {
      if (std::abs(a[row][col]) > std::abs(a[pivot][col])) {
        pivot = row;
      }
    }
    if (std::abs(a[pivot][col]) < 1e-12) {
      return false;
    }
    std::swap(a[col], a[pivot]);
    std::swap(b[col], b[pivot]);
    for (std::size_t row = col + 1; row < bandCount; ++row) {
      const double factor = a[row][col] / a[col][col];
      for (std::size_t k = col; k < bandCount; ++k) {
        a[row][k] -= factor * a[col][k];
      }
      b[row] -= factor * b[col];
    }
  }
  for (std::size_t row = bandCount; row-- > 0;) {
    double sum = b[row];
    for (std::size_t k = row + 1; k < bandCount; ++k) {
      sum -= a[row][k] * x[k];
    }
    x[row] = sum / a[row][row];
  }
  return true;
}

}  // namespace

bool bandIsUsable(double frequency, double sampleRate) {
  return frequency < 0.4 * sampleRate;
}

Biquad peakingFilter(double frequency, double gainDB, double q, double sampleRate) {
  const double a = std::pow(10.0, gainDB / 40);
  const double w0 = 2 * std::numbers::pi * frequency / sampleRate;
  const double alpha = std::sin(w0) / (2 * q);
  const double cosW0 = std::cos(w0);
  const double a0 = 1 + alpha / a;
  return Biquad{(1 + alpha * a) / a0, -2 * cosW0 / a0, (1 - alpha * a) / a0, -2 * cosW0 / a0,
                (1 - alpha / a) / a0};
}

namespace {

// The terms both shelves share: A, cos(w0) and 2 sqrt(A) alpha.
struct ShelfTerms {
  double a;
  double cosW0;
  double twoSqrtAAlpha;
};

ShelfTerms shelfTerms(double frequency, double gainDB, double q, double sampleRate) {
  const double a = std::pow(10.0, gainDB / 40);
  const double w0 = 2 * std::numbers::pi * frequency / sampleRate;
  const double alpha = std::sin(w0) / (2 * q);
  return ShelfTerms{a, std::cos(w0), 2 * std::sqrt(a) * alpha};
}

}  // namespace

Biquad lowShelfFilter(double frequency, double gainDB, double q, double sampleRate) {
  const auto [a, c, s] = shelfTerms(frequency, gainDB, q, sampleRate);
  const double a0 = (a + 1) + (a - 1) * c + s;
  return Biquad{a * ((a + 1) - (a - 1) * c + s) / a0, 2 * a * ((a - 1) - (a + 1) * c) / a0,
                a * ((a + 1) - (a - 1) * c - s) / a0, -2 * ((a - 1) + (a + 1) * c) / a0,
                ((a + 1) + (a - 1) * c - s) / a0};
}

Biquad highShelfFilter(double frequency, double gainDB, double q, double sampleRate) {
  const auto [a, c, s] = shelfTerms(frequency, gainDB, q, sampleRate);
  const double a0 = (a + 1) - (a - 1) * c + s;
  return Biquad{a * ((a + 1) + (a - 1) * c + s) / a0, -2 * a * ((a - 1) + (a + 1) * c) / a0,
                a * ((a + 1) + (a - 1) * c - s) / a0, 2 * ((a - 1) - (a + 1) * c) / a0,
                ((a + 1) - (a - 1) * c - s) / a0};
}

std::complex<double> response(const Biquad& filter, double frequency, double sampleRate) {
  const double w = 2 * std::numbers::pi * frequency / sampleRate;
  const std::complex<double> z1 = std::polar(1.0, -w);  // z^-1
  const std::complex<double> z2 = z1 * z1;
  return (filter.b0 + filter.b1 * z1 + filter.b2 * z2) / (1.0 + filter.a1 * z1 + filter.a2 * z2);
}

double responseDB(const FilterBank& bank, double frequency, double sampleRate) {
  double sum = 0;
  for (const Biquad& filter : bank) {
    sum += 20 * std::log10(std::abs(response(filter, frequency, sampleRate)));
  }
  return sum;
}

bool isStable(const Biquad& filter) {
  // The Jury conditions for z^2 + a1 z + a2.
  return std::abs(filter.a2) < 1 && std::abs(filter.a1) < 1 + filter.a2;
}

BandGains compensatedGains(const BandGains& targets, double sampleRate) {
  BandGains gains{};
  for (std::size_t k = 0; k < bandCount; ++k) {
    if (bandIsUsable(bandFrequencies[k], sampleRate)) {
      gains[k] = std::clamp(targets[k], minimumGain, maximumGain);
    }
  }
  if (std::all_of(gains.begin(), gains.end(), [](double g) { return g == 0; })) {
    return gains;  // flat: every filter is exactly neutral
  }
  for (int step = 0; step < maxSteps; ++step) {
    // residual[i]: how far the cascade is from the target at centre i;
    // jacobian[i][k]: how band k's filter moves the response at centre i.
    BandGains residual{};
    Matrix jacobian{};
    double worst = 0;
    for (std::size_t i = 0; i < bandCount; ++i) {
      const double fi = bandFrequencies[i];
      if (!bandIsUsable(fi, sampleRate)) {
        jacobian[i][i] = 1;
        continue;
      }
      double sum = 0;
      for (std::size_t k = 0; k < bandCount; ++k) {
        if (!bandIsUsable(bandFrequencies[k], sampleRate)) {
          continue;
        }
        sum += bandResponseDB(k, gains[k], fi, sampleRate);
        jacobian[i][k] = (bandResponseDB(k, gains[k] + derivativeStepDB, fi, sampleRate) -
                          bandResponseDB(k, gains[k] - derivativeStepDB, fi, sampleRate)) /
                         (2 * derivativeStepDB);
      }
      residual[i] = std::clamp(targets[i], minimumGain, maximumGain) - sum;
      worst = std::max(worst, std::abs(residual[i]));
    }
    BandGains correction{};
    if (worst < goodEnoughDB || !solve(jacobian, residual, correction)) {
      break;
    }
    for (std::size_t k = 0; k < bandCount; ++k) {
      gains[k] = std::clamp(gains[k] + correction[k], -compensatedLimit, compensatedLimit);
    }
  }
  return gains;
}

FilterBank designFilters(const BandGains& targets, double sampleRate) {
  const BandGains gains = compensatedGains(targets, sampleRate);
  FilterBank bank{};
  for (std::size_t k = 0; k < bandCount; ++k) {
    if (gains[k] != 0) {
      bank[k] = peakingFilter(bandFrequencies[k], gains[k], bandQ, sampleRate);
    }
  }
  return bank;
}

}  // namespace kestrune::eq
