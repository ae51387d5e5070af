#pragma once
// The user's own EQ presets, from presets.json in the configuration
// directory. The file holds an object with one member, "presets", an array
// of presets; each has a "name" and one of "gains", exactly ten gains in dB
// for the bands from 32 Hz to 16 kHz, or "bands", frequency/gain pairs for
// some of the bands (the others stay at 0 dB):
//
//   {
//     "presets": [
//       { "name": "podcast", "gains": [-4, -3, -1, 0, 2, 4, 4, 2, 0, -2] },
//       { "name": "warm", "bands": [ { "frequency": 64, "gain": 3 },
//                                    { "frequency": 8000, "gain": -2 } ] },
//       { "name": "hd600", "preamp": -6.2, "filters": [
//           { "type": "LSC", "frequency": 105, "gain": 5.5, "q": 0.71 } ] }
//     ]
//   }
//
// "filters" makes a parametric preset (eq/Parametric.h): up to twenty
// filters of type "PK", "LSC" or "HSC", and an optional "preamp" in dB.
// Names are matched ignoring case, so they must differ from each
// other, from the built-in presets and from "off" in more than case. A
// frequency must be one of the ten band centres (32, 64, 125, 250, 500,
// 1000, 2000, 4000, 8000, 16000), each at most once; gains lie from -24 to
// 24 dB. Other members are ignored. A file that breaks any of this is
// rejected whole.

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eq/Presets.h"

namespace kestrune::eq {

// A presets file that cannot be read or used. The description names the
// file and, for its contents, the line and column of the problem:
//   "/home/u/.config/kestrune/presets.json:4:18: Expected ten gains, found 9"
class PresetFileError : public std::exception {
 public:
  PresetFileError(std::string path, std::size_t line, std::size_t column, std::string reason);
  // A file that cannot be read at all has no position.
  PresetFileError(std::string path, std::string reason);

  const std::string& path() const noexcept { return path_; }
  std::size_t line() const noexcept { return line_; }      // 0 when unknown
  std::size_t column() const noexcept { return column_; }  // 0 when unknown
  const std::string& reason() const noexcept { return reason_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string path_;
  std::size_t line_ = 0;
  std::size_t column_ = 0;
  std::string reason_;
  std::string description_;
};

inline constexpr std::string_view presetsFileName = "presets.json";

// DIR/presets.json
std::string presetsFilePath(const std::string& configDirectory);

// The presets in `text`, the contents of the file at `path` (used in
// errors). Throws PresetFileError.
std::vector<Preset> parseUserPresets(std::string_view text, const std::string& path);

// The presets of the file; none when it does not exist. Only a regular file
// of at most 1 MiB is read. Throws PresetFileError.
std::vector<Preset> readUserPresets(const std::string& path);

// The catalog for a configuration directory: the built-in presets and the
// user's. A file that cannot be used leaves the built-ins alone and is
// described in `problem`, for the caller to report.
struct CatalogLoad {
  PresetCatalog catalog;
  std::optional<std::string> problem;
};
CatalogLoad loadPresetCatalog(const std::string& configDirectory);

}  // namespace kestrune::eq
