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

}  // namespace kestrune::eq
