#include "eq/StereoEqualizer.h"

#include <algorithm>
#include <cmath>

namespace kestrune::eq {

namespace {

// The input plus the constant that keeps the filters' memory normal (the
// sections pass it unchanged: they all have a finite gain at 0 Hz).
void copyIn(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
            std::size_t frames, float factor) noexcept {
  for (std::size_t i = 0; i < frames; ++i) {
    outLeft[i] = inLeft[i] * factor + antiDenormal;
    outRight[i] = inRight[i] * factor + antiDenormal;
  }
}

template <class Sections>
bool allNormal(const Sections& sections) noexcept {
  return std::all_of(sections.begin(), sections.end(),
                     [](const BiquadSection& section) { return section.memoryIsNormal(); });
}

}  // namespace

StereoEqualizer::StereoEqualizer(double sampleRate) : sampleRate_(sampleRate) {}

void StereoEqualizer::setGains(const BandGains& gains) {
  gains_ = gains;
  const FilterBank bank = designFilters(gains, sampleRate_);
  for (std::size_t k = 0; k < bandCount; ++k) {
    sections_[k].design(bank[k]);
  }
}

void StereoEqualizer::reset() noexcept {
  for (BiquadSection& section : sections_) {
    section.reset();
  }
}

void StereoEqualizer::process(const float* inLeft, const float* inRight, float* outLeft,
                              float* outRight, std::size_t frames) noexcept {
  copyIn(inLeft, inRight, outLeft, outRight, frames, 1);
  runCascade(sections_, outLeft, outRight, frames);
}

bool StereoEqualizer::memoryIsNormal() const noexcept {
  return allNormal(sections_);
}

void ParametricEqualizer::setPreset(const Parametric& preset) {
  setPreamp(preset.preamp);
  for (std::size_t k = 0; k < maxFilters; ++k) {
    if (k < preset.filters.size()) {
      setFilter(k, preset.filters[k]);
    } else {
      clearFilter(k);
    }
  }
}

void ParametricEqualizer::setPreamp(double preampDB) noexcept {
  preampFactor_ = static_cast<float>(std::pow(10.0, preampDB / 20));
}

void ParametricEqualizer::setFilter(std::size_t index, const ParametricFilter& filter) noexcept {
  if (index < maxFilters) {
    sections_[index].design(designFilter(filter, sampleRate_));
  }
}

void ParametricEqualizer::clearFilter(std::size_t index) noexcept {
  if (index < maxFilters) {
    sections_[index].design(Biquad{});
  }
}

void ParametricEqualizer::reset() noexcept {
  for (BiquadSection& section : sections_) {
    section.reset();
  }
}

void ParametricEqualizer::process(const float* inLeft, const float* inRight, float* outLeft,
                                  float* outRight, std::size_t frames) noexcept {
  copyIn(inLeft, inRight, outLeft, outRight, frames, preampFactor_);
  runCascade(sections_, outLeft, outRight, frames);
}

bool ParametricEqualizer::memoryIsNormal() const noexcept {
  return allNormal(sections_);
}

}  // namespace kestrune::eq
