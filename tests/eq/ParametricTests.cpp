// Parametric presets: the profile files and presets.json entries that
// define them, their filters against the cookbook's formulas (themselves
// checked against sox), and the plugin's parametric mode.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ladspa.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "SoundServers.h"
#include "eq/Parametric.h"
#include "eq/PluginInfo.h"
#include "eq/Presets.h"
#include "eq/ProfileFile.h"
#include "eq/SinkModule.h"
#include "eq/UserPresets.h"
#include "support/Cookbook.h"

namespace kestrune::eq {
namespace {

using test_audio::cookbookGainDB;
using test_audio::CookbookFilter;

// Shaped like a published headphone correction, numbers of our own.
constexpr const char* autoEqShaped =
    "Preamp: -6.3 dB\r\n"
    "Filter 1: ON LSC Fc 105 Hz Gain 5.8 dB Q 0.70\r\n"
    "Filter 2: ON PK Fc 172.5 Hz Gain -3.1 dB Q 0.62\r\n"
    "Filter 3: OFF PK Fc 2900 Hz Gain 9.0 dB Q 1.20\r\n"
    "Filter 4: ON PK Fc 3400 Hz Gain 4.4 dB Q 2.05\r\n"
    "Filter 5: ON HSC Fc 10000 Hz Gain -2.6 dB Q 0.70\r\n";

std::string profileProblem(const std::string& text) {
  try {
    parseProfile(text, "eq/hd.txt");
  } catch (const PresetFileError& error) {
    return error.description();
  }
  return "(no error)";
}

TEST(ProfileFile, ReadsThePreampAndTheFiltersThatAreOn) {
  const Parametric preset = parseProfile(autoEqShaped, "eq/hd.txt");
  EXPECT_EQ(preset.preamp, -6.3);
  const std::vector<ParametricFilter> expected = {
      {FilterType::lowShelf, 105, 5.8, 0.70},
      {FilterType::peaking, 172.5, -3.1, 0.62},
      {FilterType::peaking, 3400, 4.4, 2.05},
      {FilterType::highShelf, 10000, -2.6, 0.70},
  };
  EXPECT_EQ(preset.filters, expected);
  // A byte-order mark, comments, blank lines, other letter case, no units,
  // "Filter:" without a number.
  const Parametric loose = parseProfile(
      "\xEF\xBB\xBF# my headphones\n\npreamp: -2\nFilter: on pk fc 1000 gain 2 q 1\n", "x");
  EXPECT_EQ(loose.preamp, -2);
  EXPECT_EQ(loose.filters, (std::vector<ParametricFilter>{{FilterType::peaking, 1000, 2, 1}}));
  EXPECT_EQ(profileName("/home/u/.config/kestrune/eq/HD 600.txt"), "HD 600");
}

TEST(ProfileFile, ALineThatCannotBeUsedIsNamedByLineAndColumn) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Preamp: -6 dB\nFilter 1: ON PK Fc 100 Hz Gain -3 dB Q\n",
       "eq/hd.txt:2:39: Expected a Q"},
      {"Filter 1: ON PK Fc 1k Hz Gain 2 dB Q 1\n",
       "eq/hd.txt:1:20: Expected a frequency, found \"1k\""},
      {"Filter 1: ON LP Fc 100 Hz Q 0.7\n",
       "eq/hd.txt:1:14: Unsupported filter type \"LP\": expected PK, LSC or HSC"},
      {"Filter 1: ON PK Fc 100 Hz Gain 40 dB Q 1\n",
       "eq/hd.txt:1:32: Expected a gain from -24 to 24 dB"},
      {"\n\n  Device: Speakers\n", "eq/hd.txt:3:3: Expected \"Preamp:\" or \"Filter N:\""},
      {"Filter 1: MAYBE PK Fc 100 Hz Gain 1 dB Q 1\n", "eq/hd.txt:1:11: Expected \"ON\""},
      {"Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1 extra\n",
       "eq/hd.txt:1:41: Unexpected \"extra\""},
      {"Preamp: -1 dB\nPreamp: -2 dB\n", "eq/hd.txt:2:1: A second preamp"},
      {"Filter one: ON PK Fc 100 Hz Gain 1 dB Q 1\n",
       "eq/hd.txt:1:8: Expected the filter's number and \":\""},
  };
  for (const auto& [text, problem] : cases) {
    EXPECT_EQ(profileProblem(text), problem) << text;
  }
  std::string many;
  for (int i = 1; i <= 21; ++i) {
    many += "Filter " + std::to_string(i) + ": ON PK Fc 1000 Hz Gain 1 dB Q 1\n";
  }
  EXPECT_EQ(profileProblem(many), "eq/hd.txt:21:1: More than 20 filters are on");
}

TEST(ParametricPresets, PresetsJsonTakesFiltersBesideGainsAndBands) {
  const auto presets = parseUserPresets(R"({"presets": [
    {"name": "hd", "preamp": -6.2, "filters": [
      {"type": "LSC", "frequency": 105, "gain": 5.5, "q": 0.71},
      {"type": "pk", "frequency": 2000, "gain": -2, "q": 1.4}]},
    {"name": "warm", "gains": [3, 2, 1, 0, 0, 0, 0, 0, -1, -2]}]})",
                                        "presets.json");
  ASSERT_EQ(presets.size(), 2U);
  ASSERT_TRUE(presets[0].parametric);
  EXPECT_EQ(presets[0].parametric->preamp, -6.2);
  EXPECT_EQ(presets[0].parametric->filters,
            (std::vector<ParametricFilter>{{FilterType::lowShelf, 105, 5.5, 0.71},
                                           {FilterType::peaking, 2000, -2, 1.4}}));
  EXPECT_FALSE(presets[1].parametric);
  try {
    parseUserPresets(
        "{\"presets\": [\n  {\"name\": \"x\", \"filters\": [\n"
        "    {\"type\": \"BP\", \"frequency\": 100, \"gain\": 1, \"q\": 1}]}]}",
        "presets.json");
    ADD_FAILURE() << "a band-pass filter was accepted";
  } catch (const PresetFileError& error) {
    EXPECT_EQ(error.description(),
              "presets.json:3:14: Expected \"PK\" (peak), \"LSC\" (low shelf) or \"HSC\" (high "
              "shelf)");
  }
}

TEST(ParametricPresets, TheCurveAtTheBandCentresAndTheHeadroomFollowTheFilters) {
  const Preset preset{"hd", {}, parseProfile(autoEqShaped, "hd.txt")};
  const std::vector<CookbookFilter> on = {{"LSC", 105, 5.8, 0.70},
                                          {"PK", 172.5, -3.1, 0.62},
                                          {"PK", 3400, 4.4, 2.05},
                                          {"HSC", 10000, -2.6, 0.70}};
  const std::vector<CLIEQBand> bands = bandsOf(preset);
  ASSERT_EQ(bands.size(), bandCount);
  for (const CLIEQBand& band : bands) {
    double expected = -6.3;
    for (const CookbookFilter& filter : on) {
      expected += cookbookGainDB(filter, band.frequency, 48000);
    }
    EXPECT_NEAR(band.gain, expected, 0.01) << band.frequency << " Hz";
  }
  EXPECT_EQ(headroomWarning(preset), std::nullopt);  // the preamp covers every boost

  Preset loud = preset;
  loud.name = "loud";
  loud.parametric->preamp = -2;
  const auto warning = headroomWarning(loud);
  ASSERT_TRUE(warning);
  EXPECT_EQ(*warning, "The preset \"loud\" can clip: its gain reaches +3.7 dB; lower its preamp "
                      "by 3.7 dB");
  EXPECT_EQ(headroomWarning(*builtInCatalog().find("rock")), std::nullopt);  // no preamp to lower
}

TEST(ParametricPresets, FiltersFollowTheCookbookAtEveryRate) {
  const std::vector<CookbookFilter> filters = {
      {"PK", 1000, 6, 1.41}, {"PK", 60, -9, 4}, {"LSC", 105, 5.5, 0.71},
      {"LSC", 300, -8, 0.4}, {"HSC", 8000, 4, 0.71}, {"HSC", 3000, -6, 1.2}};
  for (const double rate : {44100.0, 48000.0, 96000.0}) {
    for (const CookbookFilter& reference : filters) {
      const ParametricFilter filter{*filterTypeNamed(reference.type), reference.frequency,
                                    reference.gain, reference.q};
      const Biquad designed = designFilter(filter, rate);
      EXPECT_TRUE(isStable(designed));
      for (const double f : {20.0, 80.0, 105.0, 400.0, 1000.0, 3000.0, 8000.0, 15000.0}) {
        EXPECT_NEAR(20 * std::log10(std::abs(response(designed, f, rate))),
                    cookbookGainDB(reference, f, rate), 1e-6)
            << reference.type << " " << reference.frequency << " Hz at " << f << " Hz, " << rate;
      }
    }
  }
}

// The tests' formulas against sox's equalizer, bass and treble effects
// (the same cookbook, with widths given as Q): a tone through the effect,
// its level change measured on the raw float samples sox writes.
double soxChangeDB(const std::vector<std::string>& effect, double tone) {
  constexpr int rate = 48000;
  const auto levelOf = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {"sox", "-n", "-r", std::to_string(rate), "-c", "1",
                                     "-b", "32", "-e", "floating-point", "-t", "raw", "-",
                                     "synth", "0.5", "sine", std::to_string(tone), "gain", "-20"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const testing::RunResult result = testing::run(argv, {});
    std::vector<float> samples(result.output.size() / sizeof(float));
    std::memcpy(samples.data(), result.output.data(), samples.size() * sizeof(float));
    double sum = 0;
    for (std::size_t i = samples.size() / 2; i < samples.size(); ++i) {
      sum += static_cast<double>(samples[i]) * samples[i];
    }
    return 10 * std::log10(sum + 1e-30);
  };
  return levelOf(effect) - levelOf({});
}

TEST(ParametricPresets, TheTestsFormulasAgreeWithSox) {
  const auto text = [](double value) { return std::to_string(value); };
  struct Case {
    CookbookFilter filter;
    std::vector<std::string> effect;
  };
  const std::vector<Case> cases = {
      {{"PK", 1000, 6, 1.41}, {"equalizer", "1000", text(1.41) + "q", "6"}},
      {{"LSC", 105, 5.5, 0.71}, {"bass", "5.5", "105", text(0.71) + "q"}},
      {{"HSC", 6000, -4, 0.9}, {"treble", "-4", "6000", text(0.9) + "q"}},
  };
  if (testing::run({"sox", "--version"}, {}).status != 0) {
    GTEST_SKIP() << "sox is not installed";
  }
  for (const Case& tested : cases) {
    for (const double tone : {50.0, 105.0, 400.0, 1000.0, 3000.0, 6000.0, 12000.0}) {
      EXPECT_NEAR(soxChangeDB(tested.effect, tone), cookbookGainDB(tested.filter, tone, 48000),
                  0.1)
          << tested.filter.type << " at " << tone << " Hz";
    }
  }
}

struct LibraryCloser {
  void operator()(void* handle) const { ::dlclose(handle); }
};

// The plugin file's second plugin fed a tone with a preset's controls, as
// module-ladspa-sink sets them from the control= argument.
TEST(ParametricPlugin, ControlsSetThePreampAndFilters) {
  const std::unique_ptr<void, LibraryCloser> library(
      ::dlopen(KESTRUNE_EQ_PLUGIN, RTLD_NOW | RTLD_LOCAL));
  ASSERT_NE(library, nullptr) << ::dlerror();
  const auto function =
      reinterpret_cast<LADSPA_Descriptor_Function>(::dlsym(library.get(), "ladspa_descriptor"));
  ASSERT_NE(function, nullptr);
  const LADSPA_Descriptor* descriptor = function(1);
  ASSERT_NE(descriptor, nullptr);
  EXPECT_STREQ(descriptor->Label, "kestrune_peq");
  ASSERT_EQ(descriptor->PortCount, 85U);
  EXPECT_STREQ(descriptor->PortNames[preampPort], "Preamp");
  EXPECT_STREQ(descriptor->PortNames[84], "Filter 20 Q");

  // The controls exactly as the sink's arguments carry them.
  const Parametric preset = parseProfile(autoEqShaped, "hd.txt");
  std::vector<LADSPA_Data> controls;
  const std::string argument = controlArgument(preset);
  for (std::size_t at = 0; at <= argument.size();) {
    const std::size_t comma = std::min(argument.find(',', at), argument.size());
    controls.push_back(std::stof(argument.substr(at, comma - at)));
    at = comma + 1;
  }
  ASSERT_EQ(controls.size(), 81U);
  for (const unsigned long rate : {44100UL, 48000UL}) {
    for (const double tone : {40.0, 105.0, 1000.0, 3400.0, 12000.0}) {
      LADSPA_Handle handle = descriptor->instantiate(descriptor, rate);
      ASSERT_NE(handle, nullptr);
      std::vector<LADSPA_Data> input(rate);
      for (std::size_t i = 0; i < input.size(); ++i) {
        input[i] = static_cast<LADSPA_Data>(
            0.1 * std::sin(2 * std::numbers::pi * tone * static_cast<double>(i) / rate));
      }
      std::vector<LADSPA_Data> left(rate);
      std::vector<LADSPA_Data> right(rate);
      descriptor->connect_port(handle, inputLeftPort, input.data());
      descriptor->connect_port(handle, inputRightPort, input.data());
      descriptor->connect_port(handle, outputLeftPort, left.data());
      descriptor->connect_port(handle, outputRightPort, right.data());
      for (std::size_t k = 0; k < controls.size(); ++k) {
        descriptor->connect_port(handle, preampPort + k, &controls[k]);
      }
      descriptor->activate(handle);
      descriptor->run(handle, rate);
      descriptor->cleanup(handle);
      double in = 0;
      double out = 0;
      for (std::size_t i = rate / 2; i < rate; ++i) {
        in += static_cast<double>(input[i]) * input[i];
        out += static_cast<double>(right[i]) * right[i];
      }
      double expected = preset.preamp;
      for (const CookbookFilter& filter : std::vector<CookbookFilter>{
               {"LSC", 105, 5.8, 0.70},
               {"PK", 172.5, -3.1, 0.62},
               {"PK", 3400, 4.4, 2.05},
               {"HSC", 10000, -2.6, 0.70}}) {
        expected += cookbookGainDB(filter, tone, static_cast<double>(rate));
      }
      EXPECT_NEAR(10 * std::log10(out / in), expected, 0.05) << tone << " Hz at " << rate;
    }
  }
}

TEST(SinkModule, AParametricPresetLoadsTheParametricPlugin) {
  const Parametric preset{-3, {{FilterType::highShelf, 8000, -2.5, 0.71}}};
  const std::string arguments =
      ladspaSinkArguments({"kestrune_eq.9", "speakers", "Music EQ", {}, preset}, "/p.so");
  EXPECT_NE(arguments.find(" label=kestrune_peq control=-3,3,8000,-2.5,0.71,0,1000,0,1,"),
            std::string::npos)
      << arguments;
}

}  // namespace
}  // namespace kestrune::eq
