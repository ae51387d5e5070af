#pragma once
// Per-app equalisers on the sound server: for each app with a preset, an
// equaliser sink of our plugin in front of each device its streams play on,
// whoever put them there, with those streams moved onto it. Turning EQ off,
// or quitting, puts each stream back on the device its equaliser played on
// and unloads what was loaded.
//
// A device with a correction has one more equaliser in front of it, which
// every stream played there goes through, the apps' equalisers included:
// app -> app's equaliser -> device's correction -> device.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "daemon/Apps.h"
#include "daemon/ProfileFolder.h"
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

  // `configDirectory` holds the user's presets.json and eq/ folder; `plugin` is what the
  // sound server loads (a path, or a name it finds on its LADSPA_PATH). The
  // equalisers name this process and `stateDirectory` as their owner.
  Equalizers(SoundServer& sound, Memory& memory, std::string configDirectory,
             std::string stateDirectory, std::string plugin, Log log);
  Equalizers(const Equalizers&) = delete;
  Equalizers& operator=(const Equalizers&) = delete;

  // The preset a word names, by its own spelling; nothing for "off". Throws
  // RequestFailure listing the presets.
  std::optional<std::string> resolve(const std::string& word);
  // The remembered preset of an app and its bands.
  CLIEQInfo info(const std::string& appID);
  std::optional<std::string> presetOf(const std::string& appID) const;
  // Every preset an app may be given, built-in ones first, as read now.
  std::vector<EQPresetInfo> presetList();
  // What the user should know about the app's preset: that it can clip.
  std::optional<std::string> warningFor(const std::string& appID);

  // Puts each stream of the app through an equaliser with the preset in
  // front of the device it plays on, or (no preset) back onto that device.
  // Throws SoundServerIgnoredMove when a stream would not move.
  void apply(const App& app, const std::optional<std::string>& preset);
  // Whether the app's streams go through an equaliser now.
  bool follows(const std::string& appID) const;
  // The app's streams, through an equaliser, all move to another device.
  void moveTo(const App& app, const std::string& device);
  // A new stream of an app with a remembered preset joins its equaliser in
  // front of `device`, or (none given) of the device the stream plays on.
  void adopt(const Stream& stream, const std::string& appID, const std::string& preset,
             const std::optional<std::string>& device);
  // The default output changed: equalisers that were put in front of the
  // default, for apps without a device of their own, move to the new one.
  void defaultOutputChanged(const SoundState& state);

  // Puts a correction with each preset in front of its device (by UID)
  // while that device exists, and takes away those no longer wanted; one
  // whose preset was edited is loaded again. What plays on a corrected
  // device is moved through its correction.
  void correct(const std::map<std::string, std::string>& wanted);
  // Where a stream should go to be heard on `device`: its correction, if it
  // has one.
  std::string entryOf(const std::string& device) const;

  bool isEqualizerSink(const Device& device) const;
  // The real device one of our equalisers plays on; nothing for other sinks.
  std::optional<std::string> deviceBehind(const Device& sink) const;

  // After a (re)connection: forget what a lost server took with it, and
  // take away what a daemon now gone left behind. Another running daemon's
  // equalisers are its own business.
  void serverConnected(const SoundState& state);
  // Streams back on their devices, every equaliser unloaded.
  void removeAll();

 private:
  struct Active {
    std::string preset;
    std::string device;  // the real device it plays on
    std::string sink;    // the equaliser's sink
    std::uint32_t module = 0;
    bool followsDefault = false;  // put in front of the default output, for an app without a device
  };

  struct Correction {
    std::string preset;
    eq::BandGains gains{};  // the curve it was loaded with
    std::optional<eq::Parametric> parametric;
    std::string sink;
    std::uint32_t module = 0;
  };

  const eq::PresetCatalog& catalog();
  // The eq/ folder's presets added to catalog_; its files' problems and
  // presets that can clip are logged once.
  void addProfiles(const ProfileFolder::Reading& profiles);
  // Whether the daemon that loaded one of our sinks is gone: its process
  // ended, or is no daemon holding the lock of the state directory named.
  bool ownerGone(const Device& sink) const;
  std::string sinkArguments(const std::string& sink, const std::string& master,
                            const std::string& description, const eq::Preset& preset) const;
  // Loads an equaliser with the preset on the device.
  Active load(const std::string& appID, const std::string& preset, const std::string& device,
              const SoundState& state);
  void moveStreams(const std::vector<Stream>& streams, const std::string& sink);
  void unload(const Active& active);
  // The device a stream plays on, seen through any equaliser of ours.
  std::string homeOf(const Stream& stream, const SoundState& state) const;
  const Active* activeBySink(const std::string& sink) const;
  using StreamsByDevice = std::map<std::string, std::vector<Stream>>;
  // Moves the streams onto new equalisers with the preset, one in front of
  // each device, kept for the app; the app's equalisers that no stream
  // plays through any more go.
  void putThrough(const std::string& appID, const StreamsByDevice& streams,
                  const std::string& preset);
  // Keeps what was loaded for the app, then unloads those of its equalisers
  // that no stream plays through.
  void keepAndPrune(const std::string& appID, std::vector<Active> loaded);
  // The apps' equalisers playing on the device are loaded again, in front
  // of what is in front of the device now.
  void reroute(const std::string& device);
  void addCorrection(const std::string& device, const std::string& preset);
  void removeCorrection(const std::string& device, const Correction& correction);
  // Whether the correction's preset now has another curve; a preset gone
  // or unreadable leaves the correction as it is.
  bool curveChanged(const Correction& correction);
  // The device's own streams onto its correction; a move the server ignores
  // is not tried again.
  void moveThroughCorrection(const std::string& device, const Correction& correction);
  const std::string* deviceCorrectedBy(const std::string& sink) const;
  void logOnce(const std::string& line);

  SoundServer& sound_;
  Memory& memory_;
  std::string configDirectory_;
  std::string stateDirectory_;
  std::string plugin_;
  Log log_;
  eq::PresetCatalog catalog_;
  std::string catalogProblem_;
  FileReader reader_;
  WatchedFile<std::shared_ptr<const eq::CatalogLoad>> presetsFile_;
  // What catalog_ was made from, and the last file read without a problem.
  std::shared_ptr<const eq::CatalogLoad> loaded_;
  std::shared_ptr<const eq::CatalogLoad> lastGood_;
  ProfileFolder profileFolder_;
  std::shared_ptr<const ProfileFolder::Reading> profiles_;
  std::vector<std::string> profileProblems_;
  std::set<std::string> reported_;                     // log lines already written
  std::map<std::string, std::vector<Active>> active_;  // by app identity
  std::map<std::string, Correction> corrections_;      // by device
  // Devices whose correction the server refused, not asked again until
  // they or the server come back; streams it would not move onto one.
  std::set<std::string> refusedCorrections_;
  std::set<std::uint32_t> unmovable_;
  std::uint64_t nextSink_ = 1;
};

}  // namespace kestrune::daemon
