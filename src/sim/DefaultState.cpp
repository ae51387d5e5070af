#include "sim/StateModel.h"

namespace kestrune::sim {

namespace {

std::vector<SimDevice> defaultDevices() {
  return {
      {"BuiltInSpeakerDevice", "Built-in Speakers", "Built-in", false, true, 48000, 50, false},
      {"BuiltInMicrophoneDevice", "Built-in Microphone", "Built-in", true, false, 48000, 75, false},
      {"USB-Studio2x2-0001", "Studio 2x2 Interface", "USB", true, true, 96000, 80, false},
      {"4C-87-5D-12-9A-01", "Nimbus Headphones", "Bluetooth", true, true, 48000, 45, false},
      {"A8-51-AB-33-10-7E", "Kitchen Speaker", "Bluetooth", false, true, 44100, 60, false},
      {"HDMI-LivingRoomTV", "Living Room TV", "HDMI", false, true, 48000, 40, false},
      {"VirtualMixBus", "Virtual Mix Bus", "Virtual", true, true, 48000, 100, false},
  };
}

std::vector<SimApp> defaultApps() {
  return {
      {"412", "Music", "com.apple.Music", 80, false, std::nullopt, "rock", 0},
      {"388", "Safari", "com.apple.Safari", 100, false, std::nullopt, std::nullopt, 0},
      {"1207", "Café Radio", "org.example.CafeRadio", 65, false, "A8-51-AB-33-10-7E", "vocal", 0},
      {"530", "Podcasts", "com.apple.podcasts", 120, true, std::nullopt, "vocal", 0},
      {"902", "Voice Memos", "com.apple.VoiceMemos", 100, false, "USB-Studio2x2-0001", std::nullopt,
       0},
      {"2210", "afplay", std::nullopt, 100, false, std::nullopt, std::nullopt, -20},
  };
}

std::vector<SimProfile> defaultProfiles() {
  return {
      {"work",
       "Work",
       {{"com.apple.Music", 40, false, std::nullopt},
        {"com.apple.Safari", 100, false, std::nullopt},
        {"com.apple.podcasts", 100, true, std::nullopt}}},
      {"movie-night",
       "Movie Night",
       {{"com.apple.Safari", 150, false, "HDMI-LivingRoomTV"},
        {"com.apple.Music", 100, true, std::nullopt},
        {"org.example.CafeRadio", 100, true, std::nullopt}}},
      {"podcast-recording",
       "Podcast Recording",
       {{"com.apple.VoiceMemos", 100, false, "USB-Studio2x2-0001"},
        {"com.apple.Music", 100, true, std::nullopt},
        {"com.apple.Safari", 100, true, std::nullopt},
        {"org.example.CafeRadio", 100, true, std::nullopt}}},
  };
}

SimMedia defaultMedia() {
  SimMedia media;
  media.player = "Music";
  media.queue = {
      {"Northern Lights", "Aurora Fields", "Polar Nights", 245},
      {"Café au Lait", "Les Petits Riens", "Matin", 198},
      {"Ember", "The Lanterns", "Slow Burn", 312},
      {"Tidal", "Mara Vale", "Coastlines", 227},
  };
  media.current = 0;
  media.playing = true;
  media.position = 83;
  media.volume = 70;
  return media;
}

}  // namespace

StateModel defaultState() {
  StateModel state;
  state.devices = defaultDevices();
  state.defaultOutputUID = "BuiltInSpeakerDevice";
  state.defaultInputUID = "BuiltInMicrophoneDevice";
  state.apps = defaultApps();
  state.profiles = defaultProfiles();
  state.media = defaultMedia();
  state.bluetooth = {{"Nimbus Headphones", 80, true}, {"Kitchen Speaker", std::nullopt, true}};
  return state;
}

}  // namespace kestrune::sim
