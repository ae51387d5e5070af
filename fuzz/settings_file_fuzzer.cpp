// kestruned's settings.json: any bytes give what could be read, never an
// exception, with every value in its range and every problem placed in
// the file; what is left out is always reported.

#include <string>

#include "FuzzSupport.h"
#include "daemon/Memory.h"
#include "json/Errors.h"
#include "json/Value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = "settings.json";
  const auto text = fuzzing::asText(data, size);
  const auto read = kestrune::daemon::decodeSettings(text, path);
  for (const auto& problem : read.problems) {
    fuzzing::require(problem.rfind(path + ":", 0) == 0, "a problem does not name the file");
  }
  fuzzing::require(read.problems.size() <= 11, "problems beyond the placed ones are not counted");
  for (const auto& [id, app] : read.apps) {
    fuzzing::require(!app.volume || (*app.volume >= 0 && *app.volume <= 200),
                     "a volume out of range was kept");
    fuzzing::require(!app.balance || (*app.balance >= -1 && *app.balance <= 1),
                     "a balance out of range was kept");
  }
  if (read.problems.empty()) {
    try {
      static_cast<void>(json::parse(text));
    } catch (const json::ParseError&) {
      fuzzing::invariantBroken("text that does not parse was read without a problem");
    }
  }
  return 0;
}
