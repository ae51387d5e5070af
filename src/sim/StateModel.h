#pragma once
// What the simulated application knows: plain values, copied freely so that
// a change can be prepared on a copy and committed only once it is saved.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::sim {

struct SimDevice {
  std::string uid;
  std::string name;
  std::string transportType;  // "Built-in", "USB", "Bluetooth", "HDMI", "Virtual"
  bool hasInput = false;
  bool hasOutput = false;
  double sampleRate = 48000;
  double volume = 50;  // percent; for the default output this is the system volume
  bool muted = false;  // for the default input this is the microphone mute
};

struct SimApp {
  std::string id;
  std::string name;
  std::optional<std::string> bundleID;
  double volume = 100;  // percent, 0 to 200
  bool muted = false;
  std::optional<std::string> deviceUID;  // absent: follows the default output
  std::optional<std::string> eqPreset;   // absent: EQ off
  double balance = 0;                    // percent, -100 (left) to 100 (right)
};

// One application's settings within a saved profile; `app` is a bundle ID or
// a name, matched like a user-typed app name.
struct ProfileEntry {
  std::string app;
  double volume = 100;
  bool muted = false;
  std::optional<std::string> deviceUID;
};

struct SimProfile {
  std::string id;
  std::string name;
  std::vector<ProfileEntry> entries;
};

struct SimTrack {
  std::string title;
  std::string artist;
  std::string album;
  double duration = 0;  // seconds
};

enum class RepeatMode { off, all, one };

struct SimMedia {
  std::string player;
  std::vector<SimTrack> queue;
  std::size_t current = 0;
  bool playing = false;
  double position = 0;  // seconds into the current track
  bool shuffle = false;
  RepeatMode repeat = RepeatMode::off;
  double volume = 70;  // percent
};

struct SimBluetoothDevice {
  std::string name;
  std::optional<std::int64_t> batteryLevel;
  bool connected = true;
};

struct StateModel {
  std::vector<SimDevice> devices;  // also the priority order for cycling
  std::string defaultOutputUID;
  std::string defaultInputUID;
  bool silentMode = false;
  std::vector<SimApp> apps;
  std::vector<SimProfile> profiles;
  SimMedia media;
  std::vector<SimBluetoothDevice> bluetooth;
  bool panelOpen = false;
  bool cliInstalled = true;
};

// A believable machine: built-in, USB, Bluetooth, HDMI and virtual devices,
// a handful of apps (one with a non-ASCII name, one without a bundle ID),
// three profiles, a playing queue and two Bluetooth devices.
StateModel defaultState();

}  // namespace kestrune::sim
