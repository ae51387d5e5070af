// How the daemon reads the sound server's picture: which streams are apps
// and under which identity, what kind of device a sink is, and how
// configuration files are read and refused.

#include <gtest/gtest.h>

#include <fstream>

#include "DaemonFixture.h"
#include "daemon/Apps.h"
#include "daemon/Config.h"
#include "daemon/Devices.h"
#include "daemon/RequestFailure.h"

namespace kestrune::daemon {
namespace {

Stream stream(std::uint32_t index, std::optional<std::uint32_t> client, Properties properties,
              double volume = 100) {
  Stream s;
  s.index = index;
  s.client = client;
  s.volume = volume;
  s.properties = std::move(properties);
  return s;
}

TEST(AppsTest, StreamsGroupByApplicationIDThenNameThenBinary) {
  SoundState state;
  state.ownClient = 99;
  state.streams[1] = stream(1, 10, {{"application.name", "Music"}}, 40);
  state.streams[2] = stream(2, 11, {{"application.name", "Music"}}, 60);
  state.streams[3] = stream(3, 12,
                            {{"application.id", "org.web.Browser"},
                             {"application.name", "Browser"},
                             {"application.process.binary", "browser-bin"}});
  state.streams[4] = stream(4, 13, {{"application.process.binary", "mpg123"}});
  state.streams[5] = stream(5, std::nullopt, {{"application.name", "loopback"}});  // a module's
  state.streams[6] = stream(6, 99, {{"application.name", "kestruned"}});           // our own

  const auto apps = appsOf(state);
  ASSERT_EQ(apps.size(), 3U);
  EXPECT_EQ(apps[0].id, "Music");
  EXPECT_EQ(apps[0].streams.size(), 2U);
  EXPECT_DOUBLE_EQ(apps[0].volume(), 50);
  EXPECT_EQ(apps[1].id, "org.web.Browser");
  EXPECT_EQ(apps[1].bundleID, "org.web.Browser");
  EXPECT_EQ(apps[1].name, "Browser");
  EXPECT_EQ(apps[2].id, "mpg123");
  EXPECT_EQ(apps[2].name, "mpg123");

  // Any of its names finds an app, ignoring case.
  EXPECT_EQ(requireApp(state, "BROWSER-BIN").id, "org.web.Browser");
  EXPECT_EQ(requireApp(state, "org.WEB.browser").id, "org.web.Browser");
  try {
    requireApp(state, "Radio");
    FAIL() << "found an app that is not there";
  } catch (const RequestFailure& failure) {
    EXPECT_STREQ(failure.what(), "App not found: \"Radio\". Running apps: Music, Browser, mpg123");
  }
}

Device sink(std::string name, Properties properties, std::string driver = "module-alsa-card.c") {
  Device d;
  d.name = std::move(name);
  d.description = d.name;
  d.driver = std::move(driver);
  d.properties = std::move(properties);
  return d;
}

TEST(DevicesTest, TransportTypesComeFromTheDevicesProperties) {
  EXPECT_EQ(transportType(sink("bluez_sink.00_11", {{"device.bus", "bluetooth"}})), "Bluetooth");
  EXPECT_EQ(transportType(sink("alsa_output.usb-x", {{"device.bus", "usb"}})), "USB");
  EXPECT_EQ(transportType(sink("alsa_output.pci-0000_00_1f.3.hdmi-stereo",
                               {{"device.bus", "pci"}, {"device.profile.name", "hdmi-stereo"}})),
            "HDMI");
  EXPECT_EQ(transportType(sink("alsa_output.pci-x",
                               {{"device.bus", "pci"}, {"device.description", "DisplayPort 1"}})),
            "Built-in");  // only the description the server shows counts
  EXPECT_EQ(
      transportType(sink("alsa_output.pci-0000_00_1f.3.analog-stereo", {{"device.bus", "pci"}})),
      "Built-in");
  EXPECT_EQ(transportType(sink("tunnel.host.speakers", {}, "module-tunnel-sink.c")), "Network");
  EXPECT_EQ(transportType(sink("speakers", {}, "module-null-sink.c")), "Virtual");
}

class ConfigTest : public ::testing::Test {
 protected:
  std::string write(const std::string& text) {
    const std::string path = directory.path() + "/profiles.json";
    std::ofstream(path) << text;
    return path;
  }
  testing::ScratchDirectory directory;
};

TEST_F(ConfigTest, ProfilesReadWithDefaultsAndAMissingFileIsNone) {
  EXPECT_TRUE(readProfiles(directory.path() + "/none.json").empty());
  const auto profiles = readProfiles(write(R"({"profiles": [
    {"name": "Focus", "apps": [{"app": "Music", "volume": 30, "eq": "rock"}]},
    {"name": "Quiet", "id": "q"}]})"));
  ASSERT_EQ(profiles.size(), 2U);
  EXPECT_EQ(profiles[0].id, "Focus");
  ASSERT_EQ(profiles[0].entries.size(), 1U);
  EXPECT_EQ(profiles[0].entries[0].volume, 30);
  EXPECT_EQ(profiles[0].entries[0].eqPreset, "rock");
  EXPECT_FALSE(profiles[0].entries[0].muted);
  EXPECT_EQ(profiles[1].id, "q");
  EXPECT_TRUE(profiles[1].entries.empty());
}

TEST_F(ConfigTest, RefusalsNameTheFileLineAndColumn) {
  const auto refusal = [&](const std::string& text) {
    const std::string path = write(text);
    try {
      readProfiles(path);
    } catch (const ConfigFileError& error) {
      return error.description().substr(path.size());
    }
    return std::string("(accepted)");
  };
  EXPECT_EQ(refusal("{\"profiles\": [\n  {\"name\": 1}\n]}").rfind(":2:12: ", 0), 0U);
  EXPECT_EQ(refusal("{\"profiles\": [\n  {\"name\": \"A\",}\n]}").rfind(":2:", 0), 0U);
  EXPECT_NE(refusal(R"({"profiles": [{"name": "A", "apps": [{"app": "M", "volume": 300}]}]})")
                .find("between 0 and 200"),
            std::string::npos);
  EXPECT_NE(refusal(R"({"profiles": [{"apps": []}]})").find("name"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::daemon
