#pragma once
// The request the program sends to the running application: one case per
// operation. Case structs are named after the case (UpperCamel); their members
// carry the JSON keys of the case, in the order they are written.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace kestrune {

enum class VolumeDirection { up, down };
enum class MuteAction { on, off, toggle };
enum class AudioDirection { input, output };

// The JSON string of each enumeration case, and the case for a string
// (nothing for any other string; matching is exact and case-sensitive).
std::string_view rawValue(VolumeDirection value);
std::string_view rawValue(MuteAction value);
std::string_view rawValue(AudioDirection value);

// The mute state after the action, from the state before it.
bool applyMute(bool current, MuteAction action);
std::optional<VolumeDirection> volumeDirectionFromRaw(std::string_view raw);
std::optional<MuteAction> muteActionFromRaw(std::string_view raw);
std::optional<AudioDirection> audioDirectionFromRaw(std::string_view raw);

struct CLICommand {
  struct GetVolume {};
  struct SetVolume {
    double percent = 0;
  };
  struct StepVolume {
    VolumeDirection direction = VolumeDirection::up;
  };
  struct GetMuteState {};
  struct SetMute {
    MuteAction action = MuteAction::toggle;
  };
  struct GetSilentMode {};
  struct ToggleSilentMode {};
  struct ListDevices {
    std::optional<AudioDirection> direction;
  };
  struct GetCurrentDevice {
    AudioDirection direction = AudioDirection::output;
  };
  struct SetDevice {
    std::string uid;
    AudioDirection direction = AudioDirection::output;
  };
  struct CycleDevice {
    AudioDirection direction = AudioDirection::output;
  };
  struct ListApps {};
  struct GetAppVolume {
    std::string appID;
  };
  struct SetAppVolume {
    std::string appID;
    double percent = 0;
  };
  struct SetAppMute {
    std::string appID;
    MuteAction action = MuteAction::toggle;
  };
  struct SoloApp {
    std::string appID;
  };
  struct GetAppEQ {
    std::string appID;
  };
  struct SetAppEQ {
    std::string appID;
    std::string preset;
  };
  struct GetAppDevice {
    std::string appID;
  };
  struct SetAppDevice {
    std::string appID;
    std::string deviceUID;
  };
  struct ListProfiles {};
  struct ApplyProfile {
    std::string name;
  };
  struct MediaPlayPause {};
  struct MediaNext {};
  struct MediaPrevious {};
  struct MediaForward {
    double seconds = 0;
  };
  struct MediaBackward {
    double seconds = 0;
  };
  struct MediaShuffle {};
  struct MediaRepeat {};
  struct GetMediaVolume {};
  struct SetMediaVolume {
    double percent = 0;
  };
  struct GetMediaInfo {};
  struct ListBluetooth {};
  struct TogglePanel {};
  struct GetStatus {};
  struct GetVersion {};
  // An extension beyond the command-line tool's commands, for graphical
  // clients: the output's own mute flag, of the default output unless a
  // device is named.
  struct SetOutputMute {
    MuteAction action = MuteAction::toggle;
    std::optional<std::string> uid;
  };
  // Another: the EQ presets an app may be given, in the order to offer them.
  struct ListEQPresets {};

  // Alternatives in declaration order: index() is the case number 0..37.
  using Case =
      std::variant<GetVolume, SetVolume, StepVolume, GetMuteState, SetMute, GetSilentMode,
                   ToggleSilentMode, ListDevices, GetCurrentDevice, SetDevice, CycleDevice,
                   ListApps, GetAppVolume, SetAppVolume, SetAppMute, SoloApp, GetAppEQ, SetAppEQ,
                   GetAppDevice, SetAppDevice, ListProfiles, ApplyProfile, MediaPlayPause,
                   MediaNext, MediaPrevious, MediaForward, MediaBackward, MediaShuffle, MediaRepeat,
                   GetMediaVolume, SetMediaVolume, GetMediaInfo, ListBluetooth, TogglePanel,
                   GetStatus, GetVersion, SetOutputMute, ListEQPresets>;

  Case value;

  // The case name, which is also the request's JSON key ("setVolume").
  std::string_view caseName() const;
};

}  // namespace kestrune
