#pragma once
// The volume each device had when it was last seen, so that it comes back
// at it: device-volumes.json in the state directory, beside settings.json,
// rewritten whole and atomically when a remembered volume changes.
//
//   { "output": { "alsa_output.usb-dac": 65 }, "input": { "alsa_input.usb-headset": 80 } }

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::daemon {

inline constexpr std::string_view deviceVolumesFileName = "device-volumes.json";

class DeviceVolumes {
 public:
  using Log = std::function<void(const std::string&)>;

  // Without a path nothing is kept on disk. A file that cannot be read is
  // reported and replaced by the first change.
  DeviceVolumes(std::optional<std::string> path, Log log);

  // Whether the device has been seen before.
  bool knows(bool input, const std::string& name) const;
  std::optional<double> volume(bool input, const std::string& name) const;
  void remember(bool input, const std::string& name, double percent);

 private:
  void load();
  void save();

  std::optional<std::string> path_;
  Log log_;
  std::map<std::string, double> outputs_;
  std::map<std::string, double> inputs_;
  std::string saveProblem_;
};

}  // namespace kestrune::daemon
