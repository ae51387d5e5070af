#pragma once
// The requests that the sound server answers: system volume, microphone,
// silent mode, devices, apps, profiles and status. Runs on one thread (the
// audio worker): requests and reactions to the server's events never
// overlap.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "daemon/ConfigFiles.h"
#include "daemon/DevicePolicy.h"
#include "daemon/DeviceVolumes.h"
#include "daemon/Memory.h"
#include "daemon/pulse/SoundServer.h"
#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon {

class Equalizers;

struct DaemonFiles {
  std::string configDirectory;
  std::string profiles;                      // profiles.json
  std::string devices;                       // devices.json
  std::optional<std::string> deviceVolumes;  // in the state directory
};

struct VersionFacts {
  std::string version;
  std::string build;
  std::string cliVersion;
  bool cliInstalled = false;
};

class AudioRequests {
 public:
  using Log = std::function<void(const std::string&)>;

  AudioRequests(SoundServer& sound, Memory& memory, Equalizers* equalizers, DaemonFiles files,
                VersionFacts version, Log log);

  // Whether this is one of the requests answered here.
  static bool answers(const CLICommand& command);
  // Whether the request only reads what the picture holds, which any thread
  // may answer at once while the sound server is ready.
  bool answersAtOnce(const CLICommand& command) const;
  CLIResponse answer(const CLICommand& command);

  // Reactions to the server: a new stream gets its app's remembered
  // settings (and silent mode); after a (re)connection every stream does.
  void streamAppeared(std::uint32_t stream);
  void serverConnected();
  void defaultsChanged();
  void devicesChanged();
  // Before the daemon stops.
  void quitting();
  // After any change of the picture: devices.json's corrections are
  // brought in line with the devices there are.
  void checkCorrections();
  // After an edit of devices.json, presets.json or the eq/ folder: the
  // corrections as above, and equalisers whose preset was edited loaded
  // again with its new curve.
  void configFilesChanged();

  // The status while the sound server is out of reach: what the daemon
  // knows without it.
  CLIStatusInfo statusOutOfReach() const;

  // The icon name each app's streams give, by app id, for graphical clients.
  std::map<std::string, std::string, std::less<>> appIcons();

 private:
  struct Visitor;

  CLIResponse answerRequest(const CLICommand& command);
  void applyRemembered(const Stream& stream, const SoundState& state);
  void silenceStream(const Stream& stream);
  std::vector<std::string> preferredOrder(bool input);
  // An output volume no higher than devices.json allows.
  double capped(double percent);
  void correctDevices();  // throws SoundServerUnreachable
  // Runs work on the equalisers that no client asked for: what the server
  // refuses is logged as "could not <doing>: <reason>"; SoundServerUnreachable
  // is the caller's.
  void logRefusals(const std::string& doing, const std::function<void()>& work);
  // devices.json as far as it can be used, its problems reported once.
  DevicesFile devicesFile();

  SoundServer& sound_;
  Memory& memory_;
  Equalizers* equalizers_;
  DaemonFiles files_;
  ConfigFiles config_;
  VersionFacts version_;
  Log log_;
  DeviceVolumes deviceVolumes_;
  DevicePolicy policy_;
  // Event sounds muted by silent mode, to unmute when it ends.
  std::set<std::uint32_t> silenced_;
  std::vector<std::string> devicesFileProblems_;
};

}  // namespace kestrune::daemon
