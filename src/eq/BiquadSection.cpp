#include "eq/BiquadSection.h"

#include <cmath>

namespace kestrune::eq {

namespace {

bool isNormalOrZero(float value) {
  const int kind = std::fpclassify(value);
  return kind == FP_ZERO || kind == FP_NORMAL;
}

}  // namespace

void BiquadSection::design(const Biquad& filter) noexcept {
  b0 = static_cast<float>(filter.b0);
  b1 = static_cast<float>(filter.b1);
  b2 = static_cast<float>(filter.b2);
  a1 = static_cast<float>(filter.a1);
  a2 = static_cast<float>(filter.a2);
  const bool isNeutral =
      filter.b0 == 1 && filter.b1 == 0 && filter.b2 == 0 && filter.a1 == 0 && filter.a2 == 0;
  if (isNeutral) {
    reset();
  }
  neutral = isNeutral;
}

// Transposed direct form II, both channels in one loop so that their two
// independent chains of dependent operations overlap.
void BiquadSection::run(float* left, float* right, std::size_t frames) noexcept {
  const float c0 = b0;
  const float c1 = b1;
  const float c2 = b2;
  const float d1 = a1;
  const float d2 = a2;
  float l1 = channels[0].s1;
  float l2 = channels[0].s2;
  float r1 = channels[1].s1;
  float r2 = channels[1].s2;
  for (std::size_t i = 0; i < frames; ++i) {
    const float xl = left[i];
    const float xr = right[i];
    const float yl = c0 * xl + l1;
    const float yr = c0 * xr + r1;
    l1 = c1 * xl - d1 * yl + l2;
    r1 = c1 * xr - d1 * yr + r2;
    l2 = c2 * xl - d2 * yl;
    r2 = c2 * xr - d2 * yr;
    left[i] = yl;
    right[i] = yr;
  }
  channels[0] = {l1, l2};
  channels[1] = {r1, r2};
}

bool BiquadSection::memoryIsNormal() const noexcept {
  for (const Channel& channel : channels) {
    if (!isNormalOrZero(channel.s1) || !isNormalOrZero(channel.s2)) {
      return false;
    }
  }
  return true;
}

}  // namespace kestrune::eq
