#include "eq/Presets.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "eq/UserPresets.h"

namespace kestrune::eq {
namespace {

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::string pattern = "/tmp/kestrune-eq-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    }
  }
  ~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  ASSERT_TRUE(out.good());
}

// The description of the error that parsing `text` raises.
std::string problemWith(const std::string& text) {
  try {
    parseUserPresets(text, "presets.json");
  } catch (const PresetFileError& error) {
    return error.description();
  }
  return "(no error)";
}

TEST(PresetCatalog, BuiltInsAreFoundIgnoringCase) {
  const PresetCatalog& catalog = builtInCatalog();
  EXPECT_EQ(catalog.names(),
            "flat, rock, pop, jazz, classical, bassBoost, trebleBoost, vocal, loudness");
  ASSERT_NE(catalog.find("BASSBOOST"), nullptr);
  EXPECT_EQ(catalog.find("BASSBOOST")->name, "bassBoost");
  EXPECT_EQ(catalog.find("bass"), nullptr);
  EXPECT_EQ(catalog.find("off"), nullptr);
  EXPECT_TRUE(isOffName("OFF"));
  EXPECT_FALSE(isOffName("of"));
  EXPECT_TRUE(sameName("\xC3\xA9", "\xC3\x89"));  // é and É

  const CLIEQInfo info = catalog.info(std::string("Rock"));
  EXPECT_TRUE(info.isEnabled);
  EXPECT_EQ(info.preset, "rock");
  ASSERT_EQ(info.bands.size(), bandCount);
  EXPECT_EQ(info.bands[0].frequency, 32);
  EXPECT_EQ(info.bands[0].gain, 5);
  EXPECT_EQ(info.bands[9].frequency, 16000);
  const CLIEQInfo off = catalog.info(std::nullopt);
  EXPECT_FALSE(off.isEnabled);
  EXPECT_FALSE(off.preset.has_value());
  EXPECT_TRUE(off.bands.empty());
  EXPECT_EQ(catalog.unknownPresetMessage("disco"),
            "Unknown EQ preset: \"disco\". Available presets: flat, rock, pop, jazz, classical, "
            "bassBoost, trebleBoost, vocal, loudness (or off)");
}

TEST(UserPresets, GainListsAndBandPairsJoinTheBuiltIns) {
  const std::vector<Preset> presets = parseUserPresets(R"({
    "presets": [
      {"name": "Podcast", "gains": [-4, -3, -1, 0, 2, 4, 4, 2, 0, -2.5]},
      {"name": "warm", "bands": [{"frequency": 64, "gain": 3}, {"frequency": 8000, "gain": -2}],
       "comment": "other members are ignored"}
    ]})",
                                                       "presets.json");
  ASSERT_EQ(presets.size(), 2U);
  EXPECT_EQ(presets[0].gains, (BandGains{-4, -3, -1, 0, 2, 4, 4, 2, 0, -2.5}));
  EXPECT_EQ(presets[1].gains, (BandGains{0, 3, 0, 0, 0, 0, 0, 0, -2, 0}));

  const PresetCatalog catalog(presets);
  EXPECT_EQ(catalog.names(),
            "flat, rock, pop, jazz, classical, bassBoost, trebleBoost, vocal, loudness, Podcast, "
            "warm");
  ASSERT_NE(catalog.find("podcast"), nullptr);
  EXPECT_EQ(catalog.info(std::string("WARM")).bands[8].gain, -2);
  EXPECT_TRUE(parseUserPresets(R"({"presets": []})", "p").empty());
}

TEST(UserPresets, ProblemsAreReportedWithLineAndColumn) {
  // Syntax: the parser's position.
  EXPECT_EQ(problemWith("{\n  \"presets\": [\n    {\"name\": \"a\",}\n  ]\n}"),
            "presets.json:3:18: unexpected character '}'");
  EXPECT_EQ(problemWith(""), "presets.json:1:1: unexpected end of input");
  // Shape and values: the position of the offending value.
  EXPECT_EQ(problemWith("{\"presets\": [\n  {\"name\": \"a\", \"gains\": [1, 2, 3]}\n]}"),
            "presets.json:2:26: Expected ten gains (32 Hz to 16 kHz), found 3");
  EXPECT_EQ(problemWith("{\"presets\": [\n {\"name\": \"a\", \"gains\": [1,2,3,4,5,6,7,8,9,30]}]}"),
            "presets.json:2:44: Expected a gain from -24 to 24 dB");
  EXPECT_EQ(problemWith("{\"presets\": [{\"name\": \"a\",\n \"bands\": [{\"frequency\": 100, "
                        "\"gain\": 1}]}]}"),
            "presets.json:2:26: Expected the centre of a band (32, 64, 125, 250, 500, 1000, "
            "2000, 4000, 8000, 16000)");
  EXPECT_EQ(problemWith(R"({"presets": [{"name": "a", "bands": [{"frequency": 64, "gain": 1},
                                                      {"frequency": 64, "gain": 2}]}]})"),
            "presets.json:2:69: The band at 64 Hz is given twice");
  EXPECT_EQ(problemWith(R"({"presets": [{"name": "ROCK", "gains": [0,0,0,0,0,0,0,0,0,0]}]})"),
            "presets.json:1:23: The name is already taken by the preset \"rock\"");
  EXPECT_EQ(problemWith(R"({"presets": [{"name": "x", "gains": [0,0,0,0,0,0,0,0,0,0]},
                                       {"name": "X", "gains": [0,0,0,0,0,0,0,0,0,0]}]})"),
            "presets.json:2:49: The name is already taken by the preset \"x\"");
  EXPECT_EQ(problemWith(R"({"presets": [{"name": "Off", "gains": [0,0,0,0,0,0,0,0,0,0]}]})"),
            "presets.json:1:23: \"off\" turns EQ off and cannot name a preset");
  EXPECT_EQ(problemWith(R"({"presets": [{"name": "a"}]})"),
            "presets.json:1:14: Expected one of \"gains\", \"bands\" or \"filters\"");
  EXPECT_EQ(problemWith(R"({"presets": [{"gains": []}]})"),
            "presets.json:1:14: No value for key \"name\"");
  EXPECT_EQ(problemWith(R"([1])"),
            "presets.json:1:1: Expected to decode Presets but found an array");
  EXPECT_EQ(problemWith("{\"presets\": [{\"name\": \"a\", \"gains\": [0,0,0,0,0,\"0\",0,0,0,0]}]}"),
            "presets.json:1:48: Expected to decode Double but found a string");
}

TEST(UserPresets, TheConfigDirectoryFileIsOptionalAndABadOneIsIgnored) {
  const TemporaryDirectory config;
  ASSERT_FALSE(config.path().empty());
  CatalogLoad load = loadPresetCatalog(config.path());  // no file: built-ins, no problem
  EXPECT_FALSE(load.problem.has_value());
  EXPECT_EQ(load.catalog.presets().size(), builtInPresets().size());

  const std::string path = config.path() + "/presets.json";
  writeText(path, R"({"presets": [{"name": "mine", "gains": [1,1,1,1,1,1,1,1,1,1]}]})");
  load = loadPresetCatalog(config.path());
  EXPECT_FALSE(load.problem.has_value());
  EXPECT_NE(load.catalog.find("MINE"), nullptr);

  writeText(path, "{\"presets\": [\n  {\"name\": \"mine\", \"gains\": [1]}\n]}\n");
  load = loadPresetCatalog(config.path());
  EXPECT_EQ(load.problem, path + ":2:29: Expected ten gains (32 Hz to 16 kHz), found 1");
  EXPECT_EQ(load.catalog.find("mine"), nullptr);
  EXPECT_NE(load.catalog.find("rock"), nullptr);

  if (::geteuid() != 0) {  // root reads any file
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    load = loadPresetCatalog(config.path());
    EXPECT_EQ(load.problem, path + ": cannot be read: Permission denied");
  }
}

}  // namespace
}  // namespace kestrune::eq
