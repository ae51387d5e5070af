#include "eq/StereoEqualizer.h"

#include <algorithm>
#include <cmath>

namespace kestrune::eq {

namespace {

// Added to the input of the cascade: after loud audio turns to silence the
// filters' memory would decay into subnormal numbers, which cost tens of
// times more per operation on most processors. A constant this small
// (-300 dB) keeps every value normal; the sections pass it unchanged, since
// a peaking filter has unity gain at 0 Hz.
constexpr float antiDenormal = 1e-15F;

bool isNormalOrZero(float value) {
  const int kind = std::fpclassify(value);
  return kind == FP_ZERO || kind == FP_NORMAL;
}

}  // namespace

StereoEqualizer::StereoEqualizer(double sampleRate) : sampleRate_(sampleRate) {}

void StereoEqualizer::setGains(const BandGains& gains) {
  gains_ = gains;
  const FilterBank bank = designFilters(gains, sampleRate_);
  for (std::size_t k = 0; k < bandCount; ++k) {
    Section& section = sections_[k];
    const Biquad& filter = bank[k];
    section.b0 = static_cast<float>(filter.b0);
    section.b1 = static_cast<float>(filter.b1);
    section.b2 = static_cast<float>(filter.b2);
    section.a1 = static_cast<float>(filter.a1);
    section.a2 = static_cast<float>(filter.a2);
    const bool neutral =
        filter.b0 == 1 && filter.b1 == 0 && filter.b2 == 0 && filter.a1 == 0 && filter.a2 == 0;
    if (neutral) {
      section.channels = {};
    }
    section.neutral = neutral;
  }
}

void StereoEqualizer::reset() noexcept {
  for (Section& section : sections_) {
    section.channels = {};
  }
}

void StereoEqualizer::process(const float* inLeft, const float* inRight, float* outLeft,
                              float* outRight, std::size_t frames) noexcept {
  for (std::size_t i = 0; i < frames; ++i) {
    outLeft[i] = inLeft[i] + antiDenormal;
    outRight[i] = inRight[i] + antiDenormal;
  }
  for (Section& section : sections_) {
    if (!section.neutral) {
      run(section, outLeft, outRight, frames);
    }
  }
}

// Transposed direct form II, both channels in one loop so that their two
// independent chains of dependent operations overlap.
void StereoEqualizer::run(Section& section, float* left, float* right,
                          std::size_t frames) noexcept {
  const float b0 = section.b0;
  const float b1 = section.b1;
  const float b2 = section.b2;
  const float a1 = section.a1;
  const float a2 = section.a2;
  float l1 = section.channels[0].s1;
  float l2 = section.channels[0].s2;
  float r1 = section.channels[1].s1;
  float r2 = section.channels[1].s2;
  for (std::size_t i = 0; i < frames; ++i) {
    const float xl = left[i];
    const float xr = right[i];
    const float yl = b0 * xl + l1;
    const float yr = b0 * xr + r1;
    l1 = b1 * xl - a1 * yl + l2;
    r1 = b1 * xr - a1 * yr + r2;
    l2 = b2 * xl - a2 * yl;
    r2 = b2 * xr - a2 * yr;
    left[i] = yl;
    right[i] = yr;
  }
  section.channels[0] = {l1, l2};
  section.channels[1] = {r1, r2};
}

bool StereoEqualizer::memoryIsNormal() const noexcept {
  return std::all_of(sections_.begin(), sections_.end(), [](const Section& section) {
    return std::all_of(section.channels.begin(), section.channels.end(), [](const Channel& c) {
      return isNormalOrZero(c.s1) && isNormalOrZero(c.s2);
    });
  });
}

}  // namespace kestrune::eq
