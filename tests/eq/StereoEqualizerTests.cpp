#include "eq/StereoEqualizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "eq/Presets.h"

namespace kestrune::eq {
namespace {

// The level change in dB of a sine through the equaliser, measured on the
// samples after the filters have settled.
double measuredGainDB(StereoEqualizer& eq, double frequency, bool rightChannel = false) {
  const double rate = eq.sampleRate();
  const auto frames = static_cast<std::size_t>(rate);  // one second
  std::vector<float> left(frames);
  std::vector<float> right(frames);
  std::vector<float>& tone = rightChannel ? right : left;
  for (std::size_t i = 0; i < frames; ++i) {
    tone[i] = static_cast<float>(
        0.25 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
  }
  const std::vector<float> input = tone;
  std::vector<float> outLeft(frames);
  std::vector<float> outRight(frames);
  eq.reset();
  eq.process(left.data(), right.data(), outLeft.data(), outRight.data(), frames);
  const std::vector<float>& output = rightChannel ? outRight : outLeft;
  double in = 0;
  double out = 0;
  for (std::size_t i = frames / 2; i < frames; ++i) {
    in += static_cast<double>(input[i]) * input[i];
    out += static_cast<double>(output[i]) * output[i];
  }
  return 10 * std::log10(out / in);
}

TEST(StereoEqualizer, SinesAtBandCentresChangeByTheBandGain) {
  for (const double rate : {44100.0, 96000.0}) {
    for (const char* name : {"loudness", "rock"}) {
      const Preset& preset = *builtInCatalog().find(name);
      StereoEqualizer eq(rate);
      eq.setGains(preset.gains);
      for (std::size_t band = 0; band < bandCount; ++band) {
        EXPECT_NEAR(measuredGainDB(eq, bandFrequencies[band]), preset.gains[band], 0.1)
            << name << " at " << rate << ", " << bandFrequencies[band] << " Hz";
      }
      EXPECT_NEAR(measuredGainDB(eq, 64, true), preset.gains[1], 0.1) << "right channel";
    }
  }
}

TEST(StereoEqualizer, ChannelsStaySeparateAndInPlaceMatchesCopying) {
  StereoEqualizer copying(48000);
  StereoEqualizer inPlace(48000);
  copying.setGains(builtInCatalog().find("bassBoost")->gains);
  inPlace.setGains(copying.gains());
  std::vector<float> left(4800);
  std::vector<float> right(4800, 0.0F);
  for (std::size_t i = 0; i < left.size(); ++i) {
    left[i] = static_cast<float>(std::sin(0.01 * static_cast<double>(i)));
  }
  std::vector<float> outLeft(left.size());
  std::vector<float> outRight(left.size());
  copying.process(left.data(), right.data(), outLeft.data(), outRight.data(), left.size());
  inPlace.process(left.data(), right.data(), left.data(), right.data(), left.size());
  EXPECT_EQ(left, outLeft);
  EXPECT_EQ(right, outRight);
  for (const float sample : outRight) {
    ASSERT_LT(std::abs(sample), 1e-12F);  // nothing of the left channel leaks
  }
}

TEST(StereoEqualizer, MemoryStaysNormalInLongSilence) {
  // After a loud burst the filters ring down; over seconds of silence their
  // memory would sink into subnormal numbers without countermeasures.
  for (const double rate : {44100.0, 96000.0}) {
    StereoEqualizer eq(rate);
    eq.setGains(builtInCatalog().find("loudness")->gains);
    std::vector<float> left(512, 0.0F);
    std::vector<float> right(512, 0.0F);
    left[0] = 1.0F;
    right[0] = -1.0F;
    for (int block = 0; block < 2000; ++block) {  // about ten seconds
      eq.process(left.data(), right.data(), left.data(), right.data(), left.size());
      std::fill(left.begin(), left.end(), 0.0F);
      std::fill(right.begin(), right.end(), 0.0F);
      ASSERT_TRUE(eq.memoryIsNormal()) << "block " << block << " at " << rate;
    }
  }
}

TEST(StereoEqualizer, FlatAndChangedGainsKeepTheSignalFinite) {
  StereoEqualizer eq(44100);
  eq.setGains(builtInCatalog().find("flat")->gains);
  EXPECT_NEAR(measuredGainDB(eq, 1000), 0.0, 1e-4);
  std::vector<float> left(4410, 0.5F);
  std::vector<float> right(4410, -0.5F);
  for (const char* name : {"rock", "trebleBoost", "flat", "vocal"}) {
    eq.setGains(builtInCatalog().find(name)->gains);  // while "playing"
    eq.process(left.data(), right.data(), left.data(), right.data(), left.size());
    for (const float sample : left) {
      ASSERT_TRUE(std::isfinite(sample)) << name;
    }
  }
}

}  // namespace
}  // namespace kestrune::eq
