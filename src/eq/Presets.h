#pragma once
// EQ presets: the nine built in, plus those the user defines in
// presets.json (see eq/UserPresets.h) and in the eq/ folder (see
// eq/ProfileFile.h), found by name ignoring case.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eq/Bands.h"
#include "eq/Parametric.h"
#include "protocol/CLIResponse.h"

namespace kestrune::eq {

// Either gains for the ten bands or, when `parametric` is set, a preamp and
// filters of its own (then `gains` is unused).
struct Preset {
  std::string name;
  BandGains gains{};
  std::optional<Parametric> parametric = std::nullopt;
};

// flat, rock, pop, jazz, classical, bassBoost, trebleBoost, vocal, loudness.
const std::vector<Preset>& builtInPresets();

// The preset name that turns EQ off for an app (matched ignoring case).
inline constexpr std::string_view offName = "off";
bool isOffName(std::string_view name);

// Equal when the texts differ at most in letter case (Unicode's simple case
// folding); bytes that are not valid UTF-8 must match exactly.
bool sameName(std::string_view a, std::string_view b);

// The bands of a preset as the protocol carries them: for a parametric
// preset, its gain at each band centre (at 48 kHz).
std::vector<CLIEQBand> bandsOf(const Preset& preset);

// For a parametric preset that can clip (its preamp plus its largest boost
// above 0 dB), what to tell the user:
//   "The preset "hd600" can clip: its gain reaches +1.2 dB; lower its preamp by 1.2 dB"
std::optional<std::string> headroomWarning(const Preset& preset);

// The presets an app may choose from: the built-in ones, then the user's.
class PresetCatalog {
 public:
  PresetCatalog();  // the built-in presets alone
  // Built-ins followed by the user's presets, whose names must not repeat a
  // built-in's (eq/UserPresets.h checks that when it reads them).
  explicit PresetCatalog(const std::vector<Preset>& userPresets,
                         const std::vector<Preset>& morePresets = {});

  const std::vector<Preset>& presets() const noexcept { return presets_; }
  // Adds a preset after the others; a name that is "off" or already taken
  // (ignoring case) leaves it out, with the reason.
  std::optional<std::string> add(const Preset& preset);
  // The preset with that name ignoring case ("bassboost" finds
  // "bassBoost"); nullptr when there is none.
  const Preset* find(std::string_view name) const;
  // "flat, rock, pop, ..." for messages.
  std::string names() const;
  // "Unknown EQ preset: "disco". Available presets: flat, ... (or off)"
  std::string unknownPresetMessage(std::string_view typed) const;
  // The EQ state of an app whose preset is `preset`; absent or unknown
  // means EQ off, with no bands.
  CLIEQInfo info(const std::optional<std::string>& preset) const;

 private:
  std::vector<Preset> presets_;
};

// The catalog of the built-in presets alone, built once.
const PresetCatalog& builtInCatalog();

}  // namespace kestrune::eq
