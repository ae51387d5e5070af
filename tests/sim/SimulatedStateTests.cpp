#include "sim/SimulatedState.h"

#include <gtest/gtest.h>

#include <vector>

#include "server/support/ServerTestSupport.h"

namespace kestrune::sim {
namespace {

using server::testing::payload;
using C = CLICommand;
using D = CLIResponseData;

class SimulatedStateTest : public ::testing::Test {
 protected:
  double now = 1000;
  SimulatedState state{defaultState(),
                       SimulatedState::Options{std::nullopt, [this] { return now; }}};

  CLIResponse ask(C::Case request) { return state.handle(CLICommand{std::move(request)}); }

  template <class Payload>
  Payload answer(C::Case request) {
    const CLIResponse response = ask(std::move(request));
    EXPECT_TRUE(response.success) << response.error.value_or("");
    return payload<Payload>(response);
  }

  std::string error(C::Case request) {
    const CLIResponse response = ask(std::move(request));
    EXPECT_FALSE(response.success);
    EXPECT_FALSE(response.data.has_value());
    return response.error.value_or("(no error)");
  }
};

TEST_F(SimulatedStateTest, AnswersEveryRequestWithAFittingPayloadOrMessage) {
  struct Case {
    C::Case request;
    std::string payloadCase;  // empty: a message alone
  };
  const std::vector<Case> cases = {
      {C::GetVolume{}, "volume"},
      {C::SetVolume{30}, "volume"},
      {C::StepVolume{VolumeDirection::down}, "volume"},
      {C::GetMuteState{}, "muted"},
      {C::SetMute{MuteAction::on}, "muted"},
      {C::GetSilentMode{}, "silentMode"},
      {C::ToggleSilentMode{}, "silentMode"},
      {C::ListDevices{}, "devices"},
      {C::GetCurrentDevice{AudioDirection::input}, "device"},
      {C::SetDevice{"VirtualMixBus", AudioDirection::output}, "device"},
      {C::CycleDevice{AudioDirection::output}, "device"},
      {C::ListApps{}, "apps"},
      {C::GetAppVolume{"Music"}, "volume"},
      {C::SetAppVolume{"Music", 150}, "app"},
      {C::SetAppMute{"Music", MuteAction::toggle}, "app"},
      {C::SoloApp{"Safari"}, "apps"},
      {C::GetAppEQ{"Music"}, "eq"},
      {C::SetAppEQ{"Music", "jazz"}, "eq"},
      {C::GetAppDevice{"Music"}, "device"},
      {C::SetAppDevice{"Music", "HDMI-LivingRoomTV"}, "app"},
      {C::ListProfiles{}, "profiles"},
      {C::ApplyProfile{"Work"}, "apps"},
      {C::MediaPlayPause{}, "mediaInfo"},
      {C::MediaNext{}, "mediaInfo"},
      {C::MediaPrevious{}, "mediaInfo"},
      {C::MediaForward{15}, "mediaInfo"},
      {C::MediaBackward{15}, "mediaInfo"},
      {C::MediaShuffle{}, ""},
      {C::MediaRepeat{}, ""},
      {C::GetMediaVolume{}, "volume"},
      {C::SetMediaVolume{55}, "volume"},
      {C::GetMediaInfo{}, "mediaInfo"},
      {C::ListBluetooth{}, "bluetooth"},
      {C::TogglePanel{}, ""},
      {C::GetStatus{}, "status"},
      {C::GetVersion{}, "version"},
      {C::SetOutputMute{MuteAction::toggle, std::nullopt}, "muted"},
      {C::ListEQPresets{}, "eqPresets"},
  };
  ASSERT_EQ(cases.size(), std::variant_size_v<C::Case>);
  for (const auto& [request, payloadCase] : cases) {
    const CLICommand command{request};
    const CLIResponse response = state.handle(command);
    SCOPED_TRACE(std::string(command.caseName()));
    EXPECT_TRUE(response.success) << response.error.value_or("");
    if (payloadCase.empty()) {
      EXPECT_FALSE(response.data.has_value());
      EXPECT_TRUE(response.message.has_value());
    } else {
      ASSERT_TRUE(response.data.has_value());
      EXPECT_EQ(response.data->caseName(), payloadCase);
    }
  }
}

TEST_F(SimulatedStateTest, SystemVolumeChangesLastAndStepsStayInRange) {
  EXPECT_EQ(answer<D::Volume>(C::SetVolume{40}).value, 40);
  EXPECT_EQ(answer<D::Volume>(C::GetVolume{}).value, 40);
  EXPECT_EQ(answer<D::Volume>(C::StepVolume{VolumeDirection::up}).value, 46.25);
  EXPECT_EQ(answer<D::Volume>(C::SetVolume{97}).value, 97);
  EXPECT_EQ(answer<D::Volume>(C::StepVolume{VolumeDirection::up}).value, 100);
  EXPECT_EQ(answer<D::Volume>(C::SetVolume{2.5}).value, 2.5);
  EXPECT_EQ(answer<D::Volume>(C::StepVolume{VolumeDirection::down}).value, 0);
}

TEST_F(SimulatedStateTest, RefusesVolumesOutOfRangeAndKeepsTheOldValue) {
  EXPECT_EQ(error(C::SetVolume{100.5}), "Volume must be between 0 and 100.");
  EXPECT_EQ(error(C::SetVolume{-1}), "Volume must be between 0 and 100.");
  EXPECT_EQ(error(C::SetMediaVolume{101}), "Volume must be between 0 and 100.");
  EXPECT_EQ(error(C::SetAppVolume{"Music", 200.5}), "Volume must be between 0 and 200.");
  EXPECT_EQ(answer<D::Volume>(C::GetVolume{}).value, 50);
  EXPECT_EQ(answer<D::Volume>(C::GetAppVolume{"Music"}).value, 80);
  EXPECT_EQ(answer<D::App>(C::SetAppVolume{"Music", 200}).value.volume, 200);
}

TEST_F(SimulatedStateTest, MicrophoneMuteAndSilentMode) {
  EXPECT_FALSE(answer<D::Muted>(C::GetMuteState{}).value);
  EXPECT_TRUE(answer<D::Muted>(C::SetMute{MuteAction::toggle}).value);
  EXPECT_TRUE(answer<D::Muted>(C::SetMute{MuteAction::on}).value);
  EXPECT_FALSE(answer<D::Muted>(C::SetMute{MuteAction::off}).value);
  EXPECT_TRUE(answer<D::SilentMode>(C::ToggleSilentMode{}).value);
  EXPECT_TRUE(answer<D::SilentMode>(C::GetSilentMode{}).value);
  const auto status = answer<D::Status>(C::GetStatus{}).value;
  EXPECT_TRUE(status.isSilentMode);
  EXPECT_FALSE(status.isMuted);
}

TEST_F(SimulatedStateTest, ListsDevicesOfOneDirectionWithTheirDefaultForThatDirection) {
  const auto outputs = answer<D::Devices>(C::ListDevices{AudioDirection::output}).value;
  ASSERT_EQ(outputs.size(), 6U);
  for (const auto& device : outputs) {
    EXPECT_TRUE(device.isOutput) << device.uid;
    EXPECT_EQ(device.isDefault, device.uid == "BuiltInSpeakerDevice") << device.uid;
  }
  const auto all = answer<D::Devices>(C::ListDevices{}).value;
  EXPECT_EQ(all.size(), 7U);
  const auto transport = [&](const std::string& uid) {
    for (const auto& device : all) {
      if (device.uid == uid) {
        return device.transportType.value_or("");
      }
    }
    return std::string("missing");
  };
  EXPECT_EQ(transport("USB-Studio2x2-0001"), "USB");
  EXPECT_EQ(transport("4C-87-5D-12-9A-01"), "Bluetooth");
  EXPECT_EQ(transport("VirtualMixBus"), "Virtual");
}

TEST_F(SimulatedStateTest, SettingTheDefaultOutputMakesItsVolumeTheSystemVolume) {
  const auto device = answer<D::Device>(C::SetDevice{"HDMI-LivingRoomTV", AudioDirection::output});
  EXPECT_EQ(device.value.name, "Living Room TV");
  EXPECT_TRUE(device.value.isDefault);
  EXPECT_EQ(answer<D::Device>(C::GetCurrentDevice{AudioDirection::output}).value.uid,
            "HDMI-LivingRoomTV");
  EXPECT_EQ(answer<D::Volume>(C::GetVolume{}).value, 40);
  // A device may also be named by its display name.
  EXPECT_EQ(
      answer<D::Device>(C::SetDevice{"studio 2x2 interface", AudioDirection::input}).value.uid,
      "USB-Studio2x2-0001");
}

TEST_F(SimulatedStateTest, DeviceErrorsNameTheDevicesThatFit) {
  EXPECT_EQ(error(C::SetDevice{"Nope", AudioDirection::input}),
            "Device not found: \"Nope\". Input devices: BuiltInMicrophoneDevice (Built-in "
            "Microphone), USB-Studio2x2-0001 (Studio 2x2 Interface), 4C-87-5D-12-9A-01 (Nimbus "
            "Headphones), VirtualMixBus (Virtual Mix Bus)");
  EXPECT_EQ(error(C::SetDevice{"BuiltInMicrophoneDevice", AudioDirection::output}),
            "\"Built-in Microphone\" is not an output device. Output devices: BuiltInSpeakerDevice "
            "(Built-in Speakers), USB-Studio2x2-0001 (Studio 2x2 Interface), 4C-87-5D-12-9A-01 "
            "(Nimbus Headphones), A8-51-AB-33-10-7E (Kitchen Speaker), HDMI-LivingRoomTV (Living "
            "Room TV), VirtualMixBus (Virtual Mix Bus)");
  EXPECT_EQ(answer<D::Device>(C::GetCurrentDevice{AudioDirection::output}).value.uid,
            "BuiltInSpeakerDevice");
}

TEST_F(SimulatedStateTest, CyclingWalksTheDevicesOfThatDirectionAndWrapsAround) {
  std::vector<std::string> visited;
  visited.reserve(5);
  for (int i = 0; i < 5; ++i) {
    visited.push_back(answer<D::Device>(C::CycleDevice{AudioDirection::input}).value.uid);
  }
  EXPECT_EQ(visited,
            (std::vector<std::string>{"USB-Studio2x2-0001", "4C-87-5D-12-9A-01", "VirtualMixBus",
                                      "BuiltInMicrophoneDevice", "USB-Studio2x2-0001"}));
  EXPECT_EQ(answer<D::Device>(C::GetCurrentDevice{AudioDirection::output}).value.uid,
            "BuiltInSpeakerDevice");
}

TEST_F(SimulatedStateTest, FindsAppsByNameIgnoringCaseByBundleIDAndByID) {
  EXPECT_EQ(answer<D::Volume>(C::GetAppVolume{"music"}).value, 80);
  EXPECT_EQ(answer<D::Volume>(C::GetAppVolume{"COM.APPLE.SAFARI"}).value, 100);
  EXPECT_EQ(answer<D::Volume>(C::GetAppVolume{"café radio"}).value, 65);
  EXPECT_EQ(answer<D::Volume>(C::GetAppVolume{"2210"}).value, 100);
  EXPECT_EQ(error(C::GetAppVolume{"Foo"}),
            "App not found: \"Foo\". Running apps: Music, Safari, Café Radio, Podcasts, Voice "
            "Memos, afplay");
  // A prefix of a name is not the name.
  EXPECT_EQ(error(C::SetAppMute{"Mus", MuteAction::on}).rfind("App not found: \"Mus\". ", 0), 0U);
}

TEST_F(SimulatedStateTest, AppChangesAnswerTheAppsNewState) {
  const auto app = answer<D::App>(C::SetAppVolume{"Safari", 150}).value;
  EXPECT_EQ(app.name, "Safari");
  EXPECT_EQ(app.bundleID, "com.apple.Safari");
  EXPECT_EQ(app.volume, 150);
  EXPECT_TRUE(answer<D::App>(C::SetAppMute{"Safari", MuteAction::toggle}).value.isMuted);
  EXPECT_FALSE(answer<D::App>(C::SetAppMute{"Safari", MuteAction::toggle}).value.isMuted);
  EXPECT_FALSE(answer<D::App>(C::SetAppMute{"Podcasts", MuteAction::off}).value.isMuted);
  const auto apps = answer<D::Apps>(C::ListApps{}).value;
  EXPECT_EQ(apps[1].volume, 150);
  EXPECT_FALSE(apps[3].isMuted);
  // afplay has no bundle ID.
  EXPECT_FALSE(apps[5].bundleID.has_value());
}

TEST_F(SimulatedStateTest, SoloMutesEveryOtherApp) {
  const CLIResponse response = ask(C::SoloApp{"podcasts"});
  EXPECT_EQ(response.message, "Soloed Podcasts; other apps muted.");
  for (const auto& app : payload<D::Apps>(response).value) {
    EXPECT_EQ(app.isMuted, app.name != "Podcasts") << app.name;
  }
}

TEST_F(SimulatedStateTest, RoutesAnAppToADeviceOrBackToTheDefault) {
  const auto routed = answer<D::App>(C::SetAppDevice{"Music", "A8-51-AB-33-10-7E"}).value;
  EXPECT_EQ(routed.deviceUID, "A8-51-AB-33-10-7E");
  EXPECT_EQ(routed.deviceName, "Kitchen Speaker");
  EXPECT_EQ(answer<D::Device>(C::GetAppDevice{"Music"}).value.name, "Kitchen Speaker");

  const CLIResponse back = ask(C::SetAppDevice{"Music", "default"});
  EXPECT_EQ(back.message, "Music now follows the default output device.");
  EXPECT_FALSE(payload<D::App>(back).value.deviceUID.has_value());
  const CLIResponse current = ask(C::GetAppDevice{"Music"});
  EXPECT_EQ(payload<D::Device>(current).value.uid, "BuiltInSpeakerDevice");
  EXPECT_EQ(current.message, "Music follows the default output device.");

  EXPECT_EQ(error(C::SetAppDevice{"Music", "BuiltInMicrophoneDevice"}).substr(0, 47),
            "\"Built-in Microphone\" is not an output device. ");
}

TEST_F(SimulatedStateTest, EQPresetsHaveTenBandsAndUnknownOnesAreNamed) {
  const auto eq = answer<D::Eq>(C::SetAppEQ{"Safari", "bassboost"}).value;
  EXPECT_TRUE(eq.isEnabled);
  EXPECT_EQ(eq.preset, "bassBoost");
  ASSERT_EQ(eq.bands.size(), 10U);
  EXPECT_EQ(eq.bands.front().frequency, 32);
  EXPECT_EQ(eq.bands.front().gain, 6);
  EXPECT_EQ(eq.bands.back().frequency, 16000);
  EXPECT_EQ(answer<D::Eq>(C::GetAppEQ{"Safari"}).value.preset, "bassBoost");
  EXPECT_EQ(answer<D::Apps>(C::ListApps{}).value[1].eqPreset, "bassBoost");

  EXPECT_EQ(error(C::SetAppEQ{"Safari", "disco"}),
            "Unknown EQ preset: \"disco\". Available presets: flat, rock, pop, jazz, classical, "
            "bassBoost, trebleBoost, vocal, loudness (or off)");

  const auto off = answer<D::Eq>(C::SetAppEQ{"Safari", "off"}).value;
  EXPECT_FALSE(off.isEnabled);
  EXPECT_FALSE(off.preset.has_value());
  EXPECT_TRUE(off.bands.empty());
}

TEST_F(SimulatedStateTest, ApplyingAProfileChangesTheAppsItCovers) {
  const auto profiles = answer<D::Profiles>(C::ListProfiles{}).value;
  ASSERT_EQ(profiles.size(), 3U);
  EXPECT_EQ(profiles[1].name, "Movie Night");
  EXPECT_EQ(profiles[1].appCount, 3);

  const CLIResponse response = ask(C::ApplyProfile{"movie night"});
  EXPECT_EQ(response.message, "Applied profile \"Movie Night\".");
  const auto apps = payload<D::Apps>(response).value;
  EXPECT_EQ(apps[1].deviceName, "Living Room TV");
  EXPECT_EQ(apps[1].volume, 150);
  EXPECT_TRUE(apps[0].isMuted);

  EXPECT_EQ(error(C::ApplyProfile{"Party"}),
            "Profile not found: \"Party\". Saved profiles: Work, Movie Night, Podcast Recording");
}

TEST_F(SimulatedStateTest, BluetoothDevicesWithAndWithoutBattery) {
  const auto devices = answer<D::Bluetooth>(C::ListBluetooth{}).value;
  ASSERT_EQ(devices.size(), 2U);
  EXPECT_EQ(devices[0].batteryLevel, 80);
  EXPECT_FALSE(devices[1].batteryLevel.has_value());
}

TEST_F(SimulatedStateTest, PanelToggleAndVersion) {
  EXPECT_EQ(ask(C::TogglePanel{}).message, "Menu panel opened.");
  EXPECT_EQ(ask(C::TogglePanel{}).message, "Menu panel closed.");
  const auto version = answer<D::Version>(C::GetVersion{}).value;
  EXPECT_EQ(version.version, "1.0.0");
  EXPECT_EQ(version.build, "sim");
}

// Media follows the injected clock.

TEST_F(SimulatedStateTest, PlaybackPositionFollowsTheClockWhilePlaying) {
  auto media = answer<D::MediaInfo>(C::GetMediaInfo{}).value;
  EXPECT_EQ(media.title, "Northern Lights");
  EXPECT_TRUE(media.isPlaying);
  EXPECT_EQ(media.position, 83);
  EXPECT_EQ(media.duration, 245);

  now += 10;
  EXPECT_EQ(answer<D::MediaInfo>(C::GetMediaInfo{}).value.position, 93);
  EXPECT_FALSE(answer<D::MediaInfo>(C::MediaPlayPause{}).value.isPlaying);
  now += 100;
  EXPECT_EQ(answer<D::MediaInfo>(C::GetMediaInfo{}).value.position, 93);

  // Playing on past the end of the track moves to the next one.
  EXPECT_TRUE(answer<D::MediaInfo>(C::MediaPlayPause{}).value.isPlaying);
  now += 152 + 5;
  media = answer<D::MediaInfo>(C::GetMediaInfo{}).value;
  EXPECT_EQ(media.title, "Café au Lait");
  EXPECT_EQ(media.position, 5);
}

TEST_F(SimulatedStateTest, PlaybackStopsAtTheEndOfTheQueueUnlessRepeating) {
  for (int i = 0; i < 3; ++i) {
    ask(C::MediaNext{});
  }
  EXPECT_EQ(answer<D::MediaInfo>(C::GetMediaInfo{}).value.title, "Tidal");
  now += 1000;
  auto media = answer<D::MediaInfo>(C::GetMediaInfo{}).value;
  EXPECT_FALSE(media.isPlaying);
  EXPECT_EQ(media.title, "Northern Lights");
  EXPECT_EQ(media.position, 0);

  EXPECT_EQ(ask(C::MediaRepeat{}).message, "Repeat: all");
  EXPECT_EQ(ask(C::MediaRepeat{}).message, "Repeat: one");
  ask(C::MediaPlayPause{});
  now += 245 * 3 + 7;  // the one track, over and over
  media = answer<D::MediaInfo>(C::GetMediaInfo{}).value;
  EXPECT_EQ(media.title, "Northern Lights");
  EXPECT_EQ(media.position, 7);
  EXPECT_EQ(ask(C::MediaRepeat{}).message, "Repeat: off");
}

TEST_F(SimulatedStateTest, SkippingAndSeeking) {
  EXPECT_EQ(answer<D::MediaInfo>(C::MediaForward{15}).value.position, 98);
  EXPECT_EQ(answer<D::MediaInfo>(C::MediaBackward{200}).value.position, 0);
  // Previous near the start goes to the previous track; later it restarts the track.
  EXPECT_EQ(answer<D::MediaInfo>(C::MediaPrevious{}).value.title, "Tidal");
  now += 30;
  auto media = answer<D::MediaInfo>(C::MediaPrevious{}).value;
  EXPECT_EQ(media.title, "Tidal");
  EXPECT_EQ(media.position, 0);
  EXPECT_EQ(answer<D::MediaInfo>(C::MediaNext{}).value.title, "Northern Lights");
  // Skipping past the end starts the next track.
  media = answer<D::MediaInfo>(C::MediaForward{1000}).value;
  EXPECT_EQ(media.title, "Café au Lait");
  EXPECT_EQ(media.position, 0);
  EXPECT_TRUE(media.isPlaying);

  EXPECT_EQ(ask(C::MediaShuffle{}).message, "Shuffle: on");
  EXPECT_NE(answer<D::MediaInfo>(C::MediaNext{}).value.title, "Café au Lait");
  EXPECT_EQ(ask(C::MediaShuffle{}).message, "Shuffle: off");
}

TEST_F(SimulatedStateTest, MediaRequestsWithAnEmptyQueueSayNothingIsPlaying) {
  StateModel model = defaultState();
  model.media.queue.clear();
  model.media.current = 0;
  SimulatedState empty(model);
  const CLIResponse info = empty.handle(CLICommand{C::GetMediaInfo{}});
  EXPECT_FALSE(payload<D::MediaInfo>(info).value.title.has_value());
  EXPECT_FALSE(payload<D::MediaInfo>(info).value.isPlaying);
  EXPECT_EQ(empty.handle(CLICommand{C::MediaNext{}}).error,
            "Nothing is playing: Music has no tracks queued.");
}

TEST_F(SimulatedStateTest, StatusSummarisesTheCurrentState) {
  ask(C::SetVolume{33});
  ask(C::SetMute{MuteAction::on});
  ask(C::SetDevice{"VirtualMixBus", AudioDirection::input});
  const auto status = answer<D::Status>(C::GetStatus{}).value;
  EXPECT_EQ(status.version, "1.0.0");
  EXPECT_TRUE(status.isRunning);
  EXPECT_EQ(status.outputDevice->name, "Built-in Speakers");
  EXPECT_EQ(status.inputDevice->name, "Virtual Mix Bus");
  EXPECT_EQ(status.outputVolume, 33);
  // The microphone mute belongs to the default input device.
  EXPECT_FALSE(status.isMuted);
  EXPECT_EQ(status.activeAppCount, 6);
}

}  // namespace
}  // namespace kestrune::sim
