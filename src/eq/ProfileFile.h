#pragma once
// Parametric presets from text files, one preset per file: every *.txt in
// the eq/ folder of the configuration directory is a preset named after
// the file without ".txt". The files are in the format headphone
// measurement projects publish corrections in:
//
//   Preamp: -5.8 dB
//   Filter 1: ON LSC Fc 105 Hz Gain 5.5 dB Q 0.71
//   Filter 2: ON PK Fc 180 Hz Gain -2.4 dB Q 0.62
//   Filter 3: OFF PK Fc 2600 Hz Gain 3.0 dB Q 1.80
//   Filter 4: ON HSC Fc 10000 Hz Gain -3.5 dB Q 0.71
//
// One "Preamp:" line at most; up to twenty filters that are ON, each a
// peak (PK), low shelf (LSC) or high shelf (HSC) with its frequency (Fc),
// gain and Q, in that order; filters that are OFF are skipped unread.
// Empty lines and lines starting with "#" are comments. Keywords and units
// are matched ignoring case, and the units (Hz, dB) may be left out. A file
// with any other line is rejected whole, its problem named by line and
// column.

#include <string>
#include <string_view>
#include <vector>

#include "eq/Parametric.h"

namespace kestrune::eq {

inline constexpr std::string_view profileFolderName = "eq";
inline constexpr std::string_view profileExtension = ".txt";

// DIR/eq
std::string profileFolderPath(const std::string& configDirectory);

// The profile files in the folder, sorted by name; none when there is no
// folder. Entries whose names end in ".txt" but are no files are listed
// too, for reading them to report why they cannot be used.
std::vector<std::string> profileFilePaths(const std::string& folder);

// "hd600" for ".../eq/hd600.txt".
std::string profileName(const std::string& path);

// The preset in `text`, the contents of the file at `path` (used in
// errors). Throws PresetFileError (eq/UserPresets.h).
Parametric parseProfile(std::string_view text, const std::string& path);

}  // namespace kestrune::eq
