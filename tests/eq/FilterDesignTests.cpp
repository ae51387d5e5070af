#include "eq/FilterDesign.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "eq/Presets.h"

namespace kestrune::eq {
namespace {

constexpr std::array<double, 3> sampleRates = {44100, 48000, 96000};

// Every built-in preset plus shapes that make neighbouring bands fight.
std::vector<Preset> testPresets() {
  std::vector<Preset> presets = builtInPresets();
  presets.push_back({"zigzag", {12, -12, 12, -12, 12, -12, 12, -12, 12, -12}});
  presets.push_back({"extremes", {24, -24, 24, -24, 24, -24, 24, -24, 24, -24}});
  presets.push_back({"allUp", {24, 24, 24, 24, 24, 24, 24, 24, 24, 24}});
  presets.push_back({"topOnly", {0, 0, 0, 0, 0, 0, 0, 0, 0, -24}});
  return presets;
}

std::string label(const Preset& preset, double rate) {
  return preset.name + " at " + std::to_string(static_cast<int>(rate)) + " Hz";
}

TEST(FilterDesign, ResponseAtEveryBandCentreIsTheTarget) {
  for (const double rate : sampleRates) {
    for (const Preset& preset : testPresets()) {
      const FilterBank bank = designFilters(preset.gains, rate);
      for (std::size_t band = 0; band < bandCount; ++band) {
        EXPECT_NEAR(responseDB(bank, bandFrequencies[band], rate), preset.gains[band], 1.0)
            << label(preset, rate) << ", band " << bandFrequencies[band] << " Hz";
      }
    }
  }
}

TEST(FilterDesign, CompensationIsNeeded) {
  // With each filter simply given its band's gain, the overlapping filters
  // miss the targets by more than a decibel.
  double worst = 0;
  for (const Preset& preset : builtInPresets()) {
    FilterBank naive{};
    for (std::size_t k = 0; k < bandCount; ++k) {
      naive[k] = peakingFilter(bandFrequencies[k], preset.gains[k], bandQ, 48000);
    }
    for (std::size_t k = 0; k < bandCount; ++k) {
      worst =
          std::max(worst, std::abs(responseDB(naive, bandFrequencies[k], 48000) - preset.gains[k]));
    }
  }
  EXPECT_GT(worst, 1.0);
}

TEST(FilterDesign, FlatIsUnityFrom20HzTo20kHz) {
  const Preset& flat = *builtInCatalog().find("flat");
  for (const double rate : sampleRates) {
    const FilterBank bank = designFilters(flat.gains, rate);
    for (double f = 20; f <= 20000; f *= std::pow(2.0, 1.0 / 24)) {
      ASSERT_NEAR(responseDB(bank, f, rate), 0.0, 0.2) << f << " Hz at " << rate;
    }
  }
}

TEST(FilterDesign, EveryFilterIsStable) {
  for (const double rate : {22050.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
    for (const Preset& preset : testPresets()) {
      const FilterBank bank = designFilters(preset.gains, rate);
      for (std::size_t k = 0; k < bandCount; ++k) {
        EXPECT_TRUE(isStable(bank[k])) << label(preset, rate) << ", band " << bandFrequencies[k];
      }
    }
  }
  EXPECT_FALSE(isStable(Biquad{1, 0, 0, -2.0, 1.0}));  // a double pole on the unit circle
  EXPECT_FALSE(isStable(Biquad{1, 0, 0, 0, 1.5}));
}

TEST(FilterDesign, TopBandBehavesAt44100Hz) {
  // 16 kHz is close to the Nyquist frequency at 44.1 kHz, where the filter
  // shape is squeezed; it must still hit its target and leave 1 kHz alone.
  const BandGains gains = {0, 0, 0, 0, 0, 0, 0, 0, 0, 6};
  const FilterBank bank = designFilters(gains, 44100);
  EXPECT_NEAR(responseDB(bank, 16000, 44100), 6.0, 0.05);
  EXPECT_NEAR(responseDB(bank, 1000, 44100), 0.0, 0.05);
  EXPECT_NEAR(responseDB(bank, 22049, 44100), 0.0, 0.5);  // unity at the Nyquist frequency
}

TEST(FilterDesign, BandsTooCloseToNyquistStayNeutral) {
  // At 22.05 kHz the 16 kHz band lies above the Nyquist frequency; the other
  // bands still reach their targets.
  const BandGains gains = {3, 3, 3, 3, 3, 3, 3, 3, 6, 6};
  EXPECT_EQ(compensatedGains(gains, 22050)[9], 0);
  const FilterBank bank = designFilters(gains, 22050);
  for (std::size_t k = 0; k < 9; ++k) {
    EXPECT_NEAR(responseDB(bank, bandFrequencies[k], 22050), gains[k], 1.0) << bandFrequencies[k];
  }
}

TEST(FilterDesign, GainsOutsideTheRangeAreClamped) {
  const BandGains gains = {40, 0, 0, 0, 0, 0, 0, 0, 0, -40};
  const FilterBank bank = designFilters(gains, 48000);
  EXPECT_NEAR(responseDB(bank, 32, 48000), maximumGain, 1.0);
  EXPECT_NEAR(responseDB(bank, 16000, 48000), minimumGain, 1.0);
}

}  // namespace
}  // namespace kestrune::eq
