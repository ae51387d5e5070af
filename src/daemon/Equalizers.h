#pragma once
// Per-app equalisers on the sound server: for each app with a preset, one
// equaliser sink of our plugin, playing on the app's device, with the app's
// streams moved onto it. Turning EQ off, or quitting, puts the streams back
// on the device and unloads what was loaded.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "daemon/Apps.h"
#include "daemon/WatchedFile.h"
#include "daemon/pulse/SoundServer.h"
#include "eq/Presets.h"
#include "eq/UserPresets.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon {

class Memory;

class Equalizers {
 public:
  using Log = std::function<void(const std::string&)>;

  // `configDirectory` holds the user's presets.json; `plugin` is what the
  // sound server loads (a path, or a name it finds on its LADSPA_PATH).
  Equalizers(SoundServer& sound, Memory& memory, std::string configDirectory, std::string plugin,
             Log log);
  Equalizers(const Equalizers&) = delete;
  Equalizers& operator=(const Equalizers&) = delete;

  // The preset a word names, by its own spelling; nothing for "off". Throws
  // RequestFailure listing the presets.
  std::optional<std::string> resolve(const std::string& word);
  // The remembered preset of an app and its bands.
  CLIEQInfo info(const std::string& appID);
  std::optional<std::string> presetOf(const std::string& appID) const;

  // Puts the app's streams through an equaliser with the preset on
  // `device`, or (no preset) straight onto `device`.
  void apply(const App& app, const std::optional<std::string>& preset, const std::string& device);
  // Whether the app's streams go through an equaliser now.
  bool follows(const std::string& appID) const;
  // The app's equaliser moves to another device, its streams with it.
  void moveTo(const App& app, const std::string& device);
  // A new stream of an app with a remembered preset joins its equaliser.
  void adopt(const Stream& stream, const std::string& appID, const std::string& preset,
             const std::string& device);
  // The default output changed: equalisers of apps that follow it move.
  void defaultOutputChanged(const SoundState& state);

  bool isEqualizerSink(const Device& device) const;

  // After a (re)connection: forget what a lost server took with it, and
  // take away what an earlier run of the daemon left behind.
  void serverConnected(const SoundState& state);
  // Streams back on their devices, every equaliser unloaded.
  void removeAll();

 private:
  struct Active {
    std::string preset;
    std::string device;  // the real device it plays on
    std::string sink;    // the equaliser's sink
    std::uint32_t module = 0;
  };

  const eq::PresetCatalog& catalog();
  // Loads an equaliser with the preset on the device; its sink name.
  Active load(const std::string& appID, const std::string& preset, const std::string& device);
  void moveStreams(const std::vector<Stream>& streams, const std::string& sink);
  void unload(const Active& active);

  SoundServer& sound_;
  Memory& memory_;
  std::string configDirectory_;
  std::string plugin_;
  Log log_;
  eq::PresetCatalog catalog_;
  std::string catalogProblem_;
  FileReader reader_;
  WatchedFile<std::shared_ptr<const eq::CatalogLoad>> presetsFile_;
  // What catalog_ was made from, and the last file read without a problem.
  std::shared_ptr<const eq::CatalogLoad> loaded_;
  std::shared_ptr<const eq::CatalogLoad> lastGood_;
  std::map<std::string, Active> active_;  // by app identity
  std::uint64_t nextSink_ = 1;
};

}  // namespace kestrune::daemon
