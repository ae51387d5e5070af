#pragma once
// The identity of the equaliser's LADSPA plugin, shared by the plugin and
// by the code that asks a sound server to load it.
// Standard library only: the plugin is built from this too.

#include <string_view>

namespace kestrune::eq {

// The plugin's file is kestrune-eq.so, installed in LIBDIR/ladspa.
inline constexpr std::string_view pluginName = "kestrune-eq";
inline constexpr std::string_view pluginLabel = "kestrune_eq";
// Outside the range the LADSPA registry reserves for development (1-1000)
// and away from the blocks it has handed out in numbers below 5000.
inline constexpr unsigned long pluginUniqueID = 0x4B6551;  // "KeQ"

// Ports: audio in (left, right), audio out (left, right), then one control
// input per band, its gain in dB, from 32 Hz to 16 kHz.
inline constexpr unsigned long inputLeftPort = 0;
inline constexpr unsigned long inputRightPort = 1;
inline constexpr unsigned long outputLeftPort = 2;
inline constexpr unsigned long outputRightPort = 3;
inline constexpr unsigned long firstGainPort = 4;

// The parametric mode, a second plugin in the same file: the same four
// audio ports, then the preamp in dB, then four controls for each of up to
// twenty filters: its type (parametricTypeOff, or one of the others), its
// frequency in Hz, its gain in dB and its Q.
inline constexpr std::string_view parametricPluginLabel = "kestrune_peq";
inline constexpr unsigned long parametricPluginUniqueID = 0x4B6552;  // "KeR"
inline constexpr unsigned long preampPort = 4;
inline constexpr unsigned long firstFilterPort = 5;
inline constexpr unsigned long portsPerFilter = 4;
inline constexpr float parametricTypeOff = 0;
inline constexpr float parametricTypePeaking = 1;
inline constexpr float parametricTypeLowShelf = 2;
inline constexpr float parametricTypeHighShelf = 3;

}  // namespace kestrune::eq
