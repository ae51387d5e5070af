#pragma once
// What devices.json asks of devices as they come and go. A device that
// appears ranked above the default in its list becomes the default, and
// the streams that follow the default go with it; when it leaves, the
// default goes back to the one it replaced. A device comes back at the
// volume it had, a new output starts at the set volume, and no output stays
// above the cap. Runs on the audio worker, after every change of the
// devices or the defaults, comparing the picture with the one before.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "daemon/Config.h"
#include "daemon/DeviceVolumes.h"
#include "daemon/Memory.h"
#include "daemon/pulse/SoundServer.h"

namespace kestrune::daemon {

class DevicePolicy {
 public:
  using Settings = std::function<DevicesFile()>;
  // Devices of the daemon's own (equalisers), which the policy leaves alone.
  using Own = std::function<bool(const Device&)>;
  using Log = std::function<void(const std::string&)>;

  DevicePolicy(SoundServer& sound, Memory& memory, DeviceVolumes& volumes, Settings settings,
               Own own, Log log);

  // The highest volume an output may be given now, in percent, if any.
  std::optional<double> cap();
  // The picture is complete (again): the devices present now are where
  // comparisons start, none of them counts as new.
  void serverConnected();
  // Devices came, went or changed, or a default did.
  void changed();
  // At quit: the default the user chose last instead of one chosen here
  // for a device that came.
  void restoreUsersDefault();

 private:
  // What was seen of one direction.
  struct Side {
    bool seen = false;
    std::map<std::uint32_t, std::string> present;  // index -> name
    std::string lastDefault;
    std::string usersChoice;  // the default the user or another program chose last
    std::string ownChoice;    // the default set here, while it stands
    std::map<std::string, std::string> replaced;  // device -> the default it replaced
  };

  void follow(bool input, const SoundState& state, const DevicesFile& settings);
  void noteDefault(Side& side, const std::string& current, bool previousLeft);
  void restoreVolume(const Device& device, const DevicesFile& settings);
  void switchTo(bool input, const std::string& name, const SoundState& before);
  void goBack(bool input, const SoundState& state, const DevicesFile& settings);
  void moveFollowers(const SoundState& before, const std::string& from, const std::string& to);
  void capOutputs(const SoundState& state, const DevicesFile& settings);
  void rememberVolumes(const SoundState& state);
  std::map<std::uint32_t, std::string> devicesOf(const SoundState& state, bool input) const;

  SoundServer& sound_;
  Memory& memory_;
  DeviceVolumes& volumes_;
  Settings settings_;
  Own own_;
  Log log_;
  Side sides_[2];  // output, input
};

}  // namespace kestrune::daemon
