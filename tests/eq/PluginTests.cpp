// The LADSPA plugin loaded from its file, as a sound server loads it.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ladspa.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "eq/Bands.h"
#include "eq/PluginInfo.h"
#include "eq/Presets.h"
#include "eq/SinkModule.h"

namespace kestrune::eq {
namespace {

struct LibraryCloser {
  void operator()(void* handle) const { ::dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_.reset(::dlopen(KESTRUNE_EQ_PLUGIN, RTLD_NOW | RTLD_LOCAL));
    ASSERT_NE(library_, nullptr) << ::dlerror();
    void* symbol = ::dlsym(library_.get(), "ladspa_descriptor");
    ASSERT_NE(symbol, nullptr);
    descriptorFunction_ = reinterpret_cast<LADSPA_Descriptor_Function>(symbol);
    descriptor_ = descriptorFunction_(0);
    ASSERT_NE(descriptor_, nullptr);
  }

  // A running instance with `gains` on its control ports, fed one second
  // of a sine on both channels; the level change in dB on each channel.
  std::pair<double, double> gainOf(double frequency, unsigned long rate, const BandGains& gains) {
    const auto cleanup = [this](LADSPA_Handle h) { descriptor_->cleanup(h); };
    const std::unique_ptr<void, decltype(cleanup)> instance(
        descriptor_->instantiate(descriptor_, rate), cleanup);
    EXPECT_NE(instance, nullptr);
    if (instance == nullptr) {
      return {};
    }
    const std::size_t frames = rate;
    std::vector<LADSPA_Data> input(frames);
    for (std::size_t i = 0; i < frames; ++i) {
      input[i] = static_cast<LADSPA_Data>(
          0.25 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
    }
    std::vector<LADSPA_Data> left(frames);
    std::vector<LADSPA_Data> right = input;  // the right channel is filtered in place
    std::array<LADSPA_Data, bandCount> controls{};
    for (std::size_t k = 0; k < bandCount; ++k) {
      controls[k] = static_cast<LADSPA_Data>(gains[k]);
      descriptor_->connect_port(instance.get(), firstGainPort + k, &controls[k]);
    }
    descriptor_->connect_port(instance.get(), inputLeftPort, input.data());
    descriptor_->connect_port(instance.get(), inputRightPort, right.data());
    descriptor_->connect_port(instance.get(), outputLeftPort, left.data());
    descriptor_->connect_port(instance.get(), outputRightPort, right.data());
    descriptor_->activate(instance.get());
    for (std::size_t at = 0; at < frames; at += 1024) {  // in blocks, as a server runs it
      const std::size_t n = std::min<std::size_t>(1024, frames - at);
      descriptor_->connect_port(instance.get(), inputLeftPort, input.data() + at);
      descriptor_->connect_port(instance.get(), inputRightPort, right.data() + at);
      descriptor_->connect_port(instance.get(), outputLeftPort, left.data() + at);
      descriptor_->connect_port(instance.get(), outputRightPort, right.data() + at);
      descriptor_->run(instance.get(), n);
    }
    const auto levelDB = [&](const std::vector<LADSPA_Data>& output) {
      double in = 0;
      double out = 0;
      for (std::size_t i = frames / 2; i < frames; ++i) {
        in += static_cast<double>(input[i]) * input[i];
        out += static_cast<double>(output[i]) * output[i];
      }
      return 10 * std::log10(out / in);
    };
    return {levelDB(left), levelDB(right)};
  }

  Library library_;
  LADSPA_Descriptor_Function descriptorFunction_ = nullptr;
  const LADSPA_Descriptor* descriptor_ = nullptr;
};

TEST_F(PluginTest, DescribesOneStereoPluginWithTenGainControls) {
  // The second is the parametric mode (ParametricTests.cpp), and no third.
  EXPECT_EQ(descriptorFunction_(2), nullptr);
  EXPECT_STREQ(descriptor_->Label, "kestrune_eq");
  EXPECT_EQ(descriptor_->UniqueID, pluginUniqueID);
  ASSERT_EQ(descriptor_->PortCount, 14U);
  EXPECT_EQ(descriptor_->PortDescriptors[inputLeftPort], LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO);
  EXPECT_EQ(descriptor_->PortDescriptors[outputRightPort], LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO);
  for (unsigned long port = firstGainPort; port < descriptor_->PortCount; ++port) {
    EXPECT_EQ(descriptor_->PortDescriptors[port], LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL);
    EXPECT_EQ(descriptor_->PortRangeHints[port].LowerBound, -24);
    EXPECT_EQ(descriptor_->PortRangeHints[port].UpperBound, 24);
  }
  EXPECT_STREQ(descriptor_->PortNames[firstGainPort], "32 Hz");
  EXPECT_STREQ(descriptor_->PortNames[firstGainPort + 9], "16 kHz");
}

TEST_F(PluginTest, ControlsSetTheBandGains) {
  const BandGains loudness = builtInCatalog().find("loudness")->gains;
  for (const unsigned long rate : {44100UL, 48000UL}) {
    for (const std::size_t band : {0U, 7U, 9U}) {
      const auto [left, right] = gainOf(bandFrequencies[band], rate, loudness);
      EXPECT_NEAR(left, loudness[band], 0.1) << bandFrequencies[band] << " Hz at " << rate;
      EXPECT_NEAR(right, loudness[band], 0.1) << bandFrequencies[band] << " Hz at " << rate;
    }
  }
}

TEST_F(PluginTest, ControlsOutOfRangeAreClampedAndNotANumberIsNeutral) {
  BandGains gains{};
  gains[4] = 100;
  gains[5] = std::nan("");
  EXPECT_NEAR(gainOf(500, 48000, gains).first, 24, 1.0);
  EXPECT_NEAR(gainOf(1000, 48000, gains).first, 0, 1.0);  // only 500 Hz's skirt
}

TEST(SinkModule, ArgumentsNameThePluginItsControlsAndAStereoSink) {
  // From a build tree the plugin beside the executable is the one to load.
  EXPECT_EQ(pluginFilePath(), KESTRUNE_EQ_PLUGIN);
  EXPECT_EQ(controlArgument(builtInCatalog().find("pop")->gains), "-1.5,-1,0,2,4,4,2,0,-1,-1.5");
  EXPECT_EQ(ladspaSinkArguments({"kestrune_eq.7", "speakers", "Music \"Player\" EQ",
                                 builtInCatalog().find("bassBoost")->gains},
                                "/opt/my plugins/kestrune-eq.so"),
            "sink_name=kestrune_eq.7 sink_master=speakers "
            "sink_properties=\"device.description='Music Player EQ'\" "
            "channels=2 channel_map=front-left,front-right "
            "plugin=\"/opt/my plugins/kestrune-eq.so\" label=kestrune_eq "
            "control=6,5,4,2.5,1,0,0,0,0,0");
}

}  // namespace
}  // namespace kestrune::eq
