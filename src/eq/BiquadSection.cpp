#include "eq/BiquadSection.h"

#include <array>
#include <cmath>

namespace kestrune::eq {

namespace {

bool isNormalOrZero(float value) {
  const int kind = std::fpclassify(value);
  return kind == FP_ZERO || kind == FP_NORMAL;
}

// Transposed direct form II. Each section's recursion is a chain of
// dependent operations, so a cascade run one section at a time waits on
// that chain. Running a few sections per sample instead, and both
// channels, gives the processor independent chains to overlap; each
// section still does exactly the same arithmetic, so the output is the
// same to the bit.
template <std::size_t Count>
void runGroup(BiquadSection* const* group, float* left, float* right, std::size_t frames) noexcept {
  std::array<BiquadSection, Count> s;
  for (std::size_t g = 0; g < Count; ++g) {
    s[g] = *group[g];
  }
  for (std::size_t i = 0; i < frames; ++i) {
    float xl = left[i];
    float xr = right[i];
#pragma GCC unroll 8
    for (std::size_t g = 0; g < Count; ++g) {
      BiquadSection& f = s[g];
      BiquadSection::Channel& l = f.channels[0];
      BiquadSection::Channel& r = f.channels[1];
      const float yl = f.b0 * xl + l.s1;
      const float yr = f.b0 * xr + r.s1;
      l.s1 = f.b1 * xl - f.a1 * yl + l.s2;
      r.s1 = f.b1 * xr - f.a1 * yr + r.s2;
      l.s2 = f.b2 * xl - f.a2 * yl;
      r.s2 = f.b2 * xr - f.a2 * yr;
      xl = yl;
      xr = yr;
    }
    left[i] = xl;
    right[i] = xr;
  }
  for (std::size_t g = 0; g < Count; ++g) {
    group[g]->channels = s[g].channels;
  }
}

}  // namespace

void runCascade(std::span<BiquadSection> sections, float* left, float* right,
                std::size_t frames) noexcept {
  // Four sections per pass: enough chains to fill the processor, few
  // enough that their state stays in registers.
  constexpr std::size_t perPass = 4;
  std::array<BiquadSection*, perPass> group{};
  std::size_t gathered = 0;
  const auto runGathered = [&] {
    switch (gathered) {
      case 4:
        runGroup<4>(group.data(), left, right, frames);
        break;
      case 3:
        runGroup<3>(group.data(), left, right, frames);
        break;
      case 2:
        runGroup<2>(group.data(), left, right, frames);
        break;
      case 1:
        runGroup<1>(group.data(), left, right, frames);
        break;
      default:
        break;
    }
    gathered = 0;
  };
  for (BiquadSection& section : sections) {
    if (section.neutral) {
      continue;
    }
    group[gathered++] = &section;
    if (gathered == perPass) {
      runGathered();
    }
  }
  runGathered();
}

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

bool BiquadSection::memoryIsNormal() const noexcept {
  for (const Channel& channel : channels) {
    if (!isNormalOrZero(channel.s1) || !isNormalOrZero(channel.s2)) {
      return false;
    }
  }
  return true;
}

}  // namespace kestrune::eq
