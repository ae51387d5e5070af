// presets.json: any bytes are either presets with gains in range and names
// that no other preset shares in any case, each found again by its name,
// or one error naming the file.

#include <string>

#include "FuzzSupport.h"
#include "eq/Presets.h"
#include "eq/UserPresets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrune::eq;
  const std::string path = "presets.json";
  try {
    const auto presets = parseUserPresets(fuzzing::asText(data, size), path);
    const PresetCatalog catalog(presets);
    for (const auto& preset : presets) {
      for (const double gain : preset.gains) {
        fuzzing::require(gain >= minimumGain && gain <= maximumGain, "a gain out of range");
      }
      const Preset* found = catalog.find(preset.name);
      fuzzing::require(found != nullptr && found->name == preset.name,
                       "a preset is not found by its own name, or another one is");
      fuzzing::require(!isOffName(preset.name), "\"off\" names a preset");
    }
  } catch (const PresetFileError& error) {
    fuzzing::require(error.path() == path, "the error names another file");
  }
  return 0;
}
