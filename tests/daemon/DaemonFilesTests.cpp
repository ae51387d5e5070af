// The daemon's own files under damage and hostile neighbours: remembered
// settings that are partly unreadable, saves that fail, leftovers of
// interrupted saves, and configuration paths that lead to FIFOs, devices or
// huge files. All in-process: none of it needs a sound server.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "DaemonFixture.h"
#include "daemon/Apps.h"
#include "daemon/Config.h"
#include "daemon/Devices.h"
#include "daemon/Memory.h"
#include "daemon/WatchedFile.h"
#include "eq/UserPresets.h"

namespace kestrune::daemon {
namespace {

namespace fs = std::filesystem;

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class MemoryFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<Memory> open() {
    return std::make_unique<Memory>(path_,
                                    [this](const std::string& line) { log_ += line + "\n"; });
  }
  static void setVolume(Memory& memory, const std::string& app, double volume) {
    memory.updateApp(app, [&](AppSettings& settings) { settings.volume = volume; });
  }

  testing::ScratchDirectory directory_;
  std::string path_ = directory_.path() + "/settings.json";
  std::string log_;
};

TEST_F(MemoryFileTest, AnUnreadableMemberCostsThatMemberAndTheOriginalIsKeptBeforeTheFirstSave) {
  const std::string damaged =
      "{\"apps\":{\"alpha\":{\"volume\":30},\n"
      "  \"beta\":{\"volume\":\"sixty\",\"muted\":true},\n"
      "  \"gamma\":{\"volume\":90,\"balance\":7}, \"delta\": 4}}";
  write(path_, damaged);
  auto memory = open();
  EXPECT_EQ(memory->app("alpha")->volume, 30);
  ASSERT_TRUE(memory->app("beta"));
  EXPECT_FALSE(memory->app("beta")->volume);
  EXPECT_EQ(memory->app("beta")->muted, true);
  EXPECT_EQ(memory->app("gamma")->volume, 90);
  EXPECT_FALSE(memory->app("gamma")->balance);
  EXPECT_FALSE(memory->app("delta"));
  EXPECT_TRUE(contains(log_, path_ + ":2:20: ")) << log_;  // beta's volume, where it is
  EXPECT_TRUE(contains(log_, path_ + ":3:34: ")) << log_;  // gamma's balance

  setVolume(*memory, "alpha", 42);
  EXPECT_EQ(contentsOf(path_ + ".damaged"), damaged);
  EXPECT_EQ(std::count(log_.begin(), log_.end(), '\n'), 4) << log_;  // 3 problems, 1 copy kept
  EXPECT_TRUE(contains(log_, path_ + ".damaged"));
  EXPECT_FALSE(memory->takeSaveProblem());
  auto reread = open();
  EXPECT_EQ(reread->app("alpha")->volume, 42);
  EXPECT_EQ(reread->app("beta")->muted, true);
  EXPECT_EQ(reread->app("gamma")->volume, 90);

  // A later damage never replaces the copy kept first; a whole unreadable
  // file keeps nothing but is kept all the same.
  write(path_, "{\"apps\": [");
  log_.clear();
  auto again = open();
  EXPECT_FALSE(again->app("alpha"));
  EXPECT_TRUE(contains(log_, path_ + ":1:")) << log_;
  setVolume(*again, "alpha", 10);
  EXPECT_EQ(contentsOf(path_ + ".damaged"), damaged);
  EXPECT_EQ(open()->app("alpha")->volume, 10);
}

TEST_F(MemoryFileTest, AFailedSaveIsReportedOnceAndTheNextChangeSavesEverything) {
  // A directory where the file belongs cannot be replaced, even by root.
  fs::create_directory(path_);
  auto memory = open();
  setVolume(*memory, "alpha", 55);
  EXPECT_EQ(memory->app("alpha")->volume, 55);  // the change stands
  const auto problem = memory->takeSaveProblem();
  ASSERT_TRUE(problem);
  EXPECT_TRUE(contains(*problem, "will not survive a restart")) << *problem;
  EXPECT_TRUE(contains(*problem, "Is a directory")) << *problem;
  EXPECT_FALSE(memory->takeSaveProblem());
  for (const auto& entry : fs::directory_iterator(directory_.path())) {
    EXPECT_EQ(entry.path().filename(), "settings.json");  // no temporary left behind
  }

  fs::remove(path_);
  setVolume(*memory, "beta", 20);
  EXPECT_FALSE(memory->takeSaveProblem());
  auto reread = open();
  EXPECT_EQ(reread->app("alpha")->volume, 55);
  EXPECT_EQ(reread->app("beta")->volume, 20);
}

TEST_F(MemoryFileTest, TemporaryFilesOfInterruptedSavesAreRemoved) {
  const auto leave = [&](const std::string& name, bool old) {
    const std::string path = directory_.path() + "/" + name;
    write(path, "{");
    if (old) {
      const struct timespec times[2] = {{0, UTIME_OMIT}, {1'000'000'000, 0}};
      EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    return path;
  };
  const std::string stale = leave(".settings.json.a1B2c3", true);
  const std::string recent = leave(".settings.json.Z9y8X7", false);
  const std::string otherFile = leave(".profiles.json.a1B2c3", true);
  const std::string notOurs = leave(".settings.json.keep", true);
  auto memory = open();
  EXPECT_FALSE(fs::exists(stale));
  // Perhaps another daemon saving right now: gone once we are the one saving.
  EXPECT_TRUE(fs::exists(recent));
  setVolume(*memory, "alpha", 1);
  EXPECT_FALSE(fs::exists(recent));
  EXPECT_TRUE(fs::exists(otherFile));
  EXPECT_TRUE(fs::exists(notOurs));
}

class HostileFileTest : public ::testing::Test {
 protected:
  std::string profileRefusal(const std::string& path) {
    try {
      readProfiles(path);
    } catch (const ConfigFileError& error) {
      return error.description();
    }
    return "(read)";
  }

  testing::ScratchDirectory directory_;
  std::string path_ = directory_.path() + "/profiles.json";
};

TEST_F(HostileFileTest, OnlyRegularFilesUpToOneMebibyteAreReadAndNothingWaits) {
  fs::create_symlink("/dev/zero", path_);
  EXPECT_EQ(profileRefusal(path_), path_ + ": not a regular file");
  fs::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);  // no writer: an ordinary open waits forever
  EXPECT_EQ(profileRefusal(path_), path_ + ": not a regular file");
  fs::remove(path_);

  std::string huge = "{\"profiles\": [" + std::string(std::size_t{1} << 20U, ' ') + "]}";
  write(path_, huge);
  EXPECT_EQ(profileRefusal(path_), path_ + ": too large (more than 1 MiB)");
  const std::string presets = directory_.path() + "/presets.json";
  write(presets, huge);
  EXPECT_THROW(eq::readUserPresets(presets), eq::PresetFileError);

  // A link to a regular file is read as the file.
  const std::string real = directory_.path() + "/real.json";
  write(real, R"({"profiles": [{"name": "Focus"}]})");
  fs::remove(path_);
  fs::create_symlink(real, path_);
  EXPECT_EQ(readProfiles(path_).size(), 1U);
}

TEST_F(HostileFileTest, AWatchedFileIsDecodedAgainOnlyWhenItChanges) {
  FileReader reader;
  int decodes = 0;
  WatchedFile<std::string> watched(
      path_,
      [&](const std::string& text) {
        ++decodes;
        if (text == "bad") {
          throw ConfigFileError(path_, 1, 1, "bad");
        }
        return text;
      },
      reader);
  EXPECT_EQ(watched.current(), "");  // no file
  write(path_, "one");
  EXPECT_EQ(watched.current(), "one");
  EXPECT_EQ(watched.current(), "one");
  EXPECT_EQ(decodes, 1);
  write(path_, "three");
  EXPECT_EQ(watched.current(), "three");
  EXPECT_EQ(decodes, 2);
  write(path_, "bad");
  EXPECT_THROW(watched.current(), ConfigFileError);
  EXPECT_THROW(watched.current(), ConfigFileError);
  EXPECT_EQ(decodes, 3);  // a broken file is not decoded again either
  fs::remove(path_);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  EXPECT_THROW(watched.current(), ConfigFileError);
  EXPECT_EQ(decodes, 3);
}

TEST(DevicesFileTest, EveryMemberIsReadAndOneThatCannotBeUsedIsLeftOutAtItsPlace) {
  const std::string path = "/home/u/.config/kestrune/devices.json";
  const DevicesFile file = parseDevicesFile(
      R"({"output": ["usbdac", "speakers"], "input": ["mic"], "switchOnConnect": true,
          "newDeviceVolume": 30, "maxVolume": 80, "later": {"any": 1},
          "correction": {"usbdac": "hd600", "bt": "Studio Cans"}})",
      path);
  EXPECT_EQ(file.output, (std::vector<std::string>{"usbdac", "speakers"}));
  EXPECT_EQ(file.order(true), (std::vector<std::string>{"mic"}));
  EXPECT_TRUE(file.switchOnConnect);
  EXPECT_EQ(file.newDeviceVolume, 30);
  EXPECT_EQ(file.maxVolume, 80);
  EXPECT_EQ(file.correction,
            (std::map<std::string, std::string>{{"bt", "Studio Cans"}, {"usbdac", "hd600"}}));
  EXPECT_TRUE(file.problems.empty());

  const DevicesFile bad = parseDevicesFile(
      "{\"output\": [\"usbdac\"],\n \"maxVolume\": 180,\n \"switchOnConnect\": \"yes\",\n"
      " \"newDeviceVolume\": 25,\n \"correction\": {\"usbdac\": 3}}",
      path);
  EXPECT_EQ(bad.output, (std::vector<std::string>{"usbdac"}));
  EXPECT_FALSE(bad.maxVolume);
  EXPECT_FALSE(bad.switchOnConnect);
  EXPECT_EQ(bad.newDeviceVolume, 25);
  EXPECT_TRUE(bad.correction.empty());
  ASSERT_EQ(bad.problems.size(), 3U);
  EXPECT_TRUE(contains(bad.problems[0], path + ":3:21: ")) << bad.problems[0];
  EXPECT_TRUE(contains(bad.problems[1], path + ":2:15: ")) << bad.problems[1];
  EXPECT_TRUE(contains(bad.problems[2], path + ":5:27: ")) << bad.problems[2];

  // A file that is no object, or no JSON, is no use at all.
  EXPECT_THROW(parseDevicesFile("[\"usbdac\"]", path), ConfigFileError);
  try {
    parseDevicesFile("{\"output\": [\n  \"usbdac\",]}", path);
    ADD_FAILURE() << "parsed";
  } catch (const ConfigFileError& error) {
    EXPECT_TRUE(contains(error.description(), path + ":2:")) << error.description();
  }
}

TEST(NameMatchingTest, AppsDevicesAndPresetsIgnoreCaseBeyondAscii) {
  App app;
  app.id = "org.example.Unicode";
  app.name =
      "\xC3\x9Cn\xC3\xAF"
      "code \"Q\"";  // Ünïcode "Q"
  EXPECT_TRUE(
      app.answersTo("\xC3\xBCn\xC3\xAF"
                    "code \"q\""));
  EXPECT_TRUE(
      app.answersTo("\xC3\x9CN\xC3\x8F"
                    "CODE \"Q\""));
  EXPECT_FALSE(app.answersTo("Unicode \"Q\""));

  SoundState state;
  Device sink;
  sink.name = "alsa_output.\xCE\xA3\xCE\xB1\xCF\x82";                             // Σας
  sink.description = "\xD0\x94\xD0\xB8\xD0\xBD\xD0\xB0\xD0\xBC\xD0\xB8\xD0\xBA";  // Динамик
  state.sinks[1] = sink;
  EXPECT_EQ(requireDevice(state, false, "ALSA_OUTPUT.\xCE\xA3\xCE\x91\xCE\xA3").name, sink.name);
  EXPECT_EQ(
      requireDevice(state, false, "\xD0\xB4\xD0\x98\xD0\x9D\xD0\xB0\xD0\xBC\xD0\xB8\xD0\xBA").name,
      sink.name);

  const std::string presets = R"({"presets": [{"name": "Ünïcode", "gains": [0,0,0,0,0,0,0,0,0,0]},)"
                              R"( {"name": "üNÏCODE", "gains": [0,0,0,0,0,0,0,0,0,0]}]})";
  try {
    eq::parseUserPresets(presets, "presets.json");
    ADD_FAILURE() << "a name repeated in other case was accepted";
  } catch (const eq::PresetFileError& error) {
    EXPECT_TRUE(contains(error.description(), "already taken")) << error.description();
  }
}

}  // namespace
}  // namespace kestrune::daemon
