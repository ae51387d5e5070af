#pragma once
// The application's reply: an envelope, its payload and the records the
// payload carries. Members are declared in the order they are written;
// std::optional members are left out of the JSON when absent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrune {

struct CLIDeviceInfo {
  std::string uid;
  std::string name;
  bool isInput = false;
  bool isOutput = false;
  bool isDefault = false;
  std::optional<double> volume;
  std::optional<bool> isMuted;
  std::optional<double> sampleRate;
  std::optional<std::string> transportType;
};

struct CLIAppInfo {
  std::string id;
  std::string name;
  std::optional<std::string> bundleID;
  double volume = 0;
  bool isMuted = false;
  std::optional<std::string> deviceUID;
  std::optional<std::string> deviceName;
  std::optional<std::string> eqPreset;
  std::optional<double> balance;
};

struct CLIEQBand {
  double frequency = 0;
  double gain = 0;
};

struct CLIEQInfo {
  bool isEnabled = false;
  std::optional<std::string> preset;
  std::vector<CLIEQBand> bands;
};

struct CLIVersionInfo {
  std::string version;
  std::string build;
  std::string cliVersion;
};

struct CLIStatusInfo {
  std::string version;
  bool isRunning = false;
  std::optional<CLIDeviceInfo> outputDevice;
  std::optional<CLIDeviceInfo> inputDevice;
  double outputVolume = 0;
  bool isMuted = false;
  bool isSilentMode = false;
  std::int64_t activeAppCount = 0;
  bool cliInstalled = false;
};

struct CLIBluetoothInfo {
  std::string name;
  std::optional<std::int64_t> batteryLevel;
  bool isConnected = false;
};

struct CLIMediaInfo {
  std::optional<std::string> title;
  std::optional<std::string> artist;
  std::optional<std::string> album;
  std::optional<std::string> player;
  bool isPlaying = false;
  std::optional<double> position;
  std::optional<double> duration;
  std::optional<double> volume;
};

// One preset a client may offer for an app's EQ (an extension for graphical
// clients; the command-line tool never asks for the list).
struct EQPresetInfo {
  std::string name;
  bool isParametric = false;  // a preamp and filters of its own, not the ten bands
};

struct CLIProfileInfo {
  std::string id;
  std::string name;
  std::int64_t appCount = 0;
};

// The payload: one case per kind of answer, each holding one value (stored
// in JSON under "_0"). Case structs are named after the case.
struct CLIResponseData {
  struct Volume {
    double value = 0;
  };
  struct Muted {
    bool value = false;
  };
  struct SilentMode {
    bool value = false;
  };
  struct Device {
    CLIDeviceInfo value;
  };
  struct Devices {
    std::vector<CLIDeviceInfo> value;
  };
  struct Apps {
    std::vector<CLIAppInfo> value;
  };
  struct App {
    CLIAppInfo value;
  };
  struct Profiles {
    std::vector<CLIProfileInfo> value;
  };
  struct MediaInfo {
    CLIMediaInfo value;
  };
  struct Bluetooth {
    std::vector<CLIBluetoothInfo> value;
  };
  struct Status {
    CLIStatusInfo value;
  };
  struct Version {
    CLIVersionInfo value;
  };
  struct Eq {
    CLIEQInfo value;
  };
  struct Text {
    std::string value;
  };
  struct Bool {
    bool value = false;
  };
  struct EqPresets {
    std::vector<EQPresetInfo> value;
  };

  // Alternatives in declaration order: index() is the case number 0..15.
  using Case = std::variant<Volume, Muted, SilentMode, Device, Devices, Apps, App, Profiles,
                            MediaInfo, Bluetooth, Status, Version, Eq, Text, Bool, EqPresets>;

  Case value;

  // The case name, which is also the payload's JSON key ("silentMode").
  std::string_view caseName() const;
};

struct CLIResponse {
  bool success = false;
  std::optional<CLIResponseData> data;
  std::optional<std::string> error;
  std::optional<std::string> message;
};

}  // namespace kestrune
