#pragma once
// The user's configuration files in the configuration directory. The daemon
// reads them, never writes them; a file it cannot use is reported and
// otherwise ignored.
//
// profiles.json: saved settings for several apps at once.
//
//   {
//     "profiles": [
//       {
//         "name": "Focus",
//         "id": "focus",                          (optional; else the name)
//         "apps": [
//           { "app": "Music", "volume": 30 },
//           { "app": "firefox", "muted": true },
//           { "app": "Videos", "volume": 100, "device": "alsa_output.usb-headset",
//             "eq": "vocal" }
//         ]
//       }
//     ]
//   }
//
// "app" names an app as the command line does (name, application ID or
// binary, ignoring case); "volume" is 0 to 200 percent; "device" a device
// UID or "default"; "eq" a preset name or "off". Members left out are left
// as they are.
//
// devices.json: the order in which `device cycle` visits the devices, and
// how devices are treated as they come and go.
//
//   { "output": ["alsa_output.usb-headset", "alsa_output.pci-0000_00_1f.3"],
//     "input": ["alsa_input.usb-headset"],
//     "switchOnConnect": true,      (a device that appears ranked above the
//                                    default in its list becomes the default)
//     "newDeviceVolume": 30,        (percent, 0 to 100: a new output's volume)
//     "maxVolume": 80,              (percent, 0 to 100: no output goes above)
//     "correction": { "alsa_output.usb-headset": "hd600" } }
//                                   (an EQ preset everything played on that
//                                    output goes through, after each app's)
//
// Devices not named follow in the server's order. Every member is optional;
// one that cannot be used is left out and reported, and the rest applies.

#include <cstddef>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::daemon {

// "/home/u/.config/kestrune/profiles.json:4:18: Expected to decode Double but found a string"
class ConfigFileError : public std::exception {
 public:
  ConfigFileError(const std::string& path, std::size_t line, std::size_t column,
                  const std::string& reason)
      : description_(path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                     reason) {}
  ConfigFileError(const std::string& path, const std::string& reason)
      : description_(path + ": " + reason) {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

struct ProfileEntry {
  std::string app;
  std::optional<double> volume;
  std::optional<bool> muted;
  std::optional<std::string> device;
  std::optional<std::string> eqPreset;
};

struct Profile {
  std::string id;
  std::string name;
  std::vector<ProfileEntry> entries;
};

struct DevicesFile {
  std::vector<std::string> output;
  std::vector<std::string> input;
  bool switchOnConnect = false;
  std::optional<double> newDeviceVolume;
  std::optional<double> maxVolume;
  // The preset correcting each output, by device UID.
  std::map<std::string, std::string> correction;
  // The members left out, each "PATH:LINE:COLUMN: reason".
  std::vector<std::string> problems;

  const std::vector<std::string>& order(bool inputs) const { return inputs ? input : output; }
};

// Each: nothing in the file (or no file) gives the empty value. Throws
// ConfigFileError naming the file, line and column (for devices.json only
// when the file as a whole cannot be used). Only a regular file of at most
// 1 MiB is read.
std::vector<Profile> readProfiles(const std::string& path);
DevicesFile readDevicesFile(const std::string& path);

// The same for the text of a file at `path` (named in errors).
std::vector<Profile> parseProfiles(std::string_view text, const std::string& path);
DevicesFile parseDevicesFile(std::string_view text, const std::string& path);

}  // namespace kestrune::daemon
