#include "daemon/Equalizers.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "daemon/Memory.h"
#include "daemon/RequestFailure.h"
#include "eq/SinkModule.h"
#include "eq/UserPresets.h"

namespace kestrune::daemon {

namespace {

// Sinks of ours are named with this prefix, so that a later run can tell
// them from everyone else's.
constexpr std::string_view sinkPrefix = "kestrune_eq.";

bool isOurSinkName(std::string_view name) {
  return name.substr(0, sinkPrefix.size()) == sinkPrefix;
}

bool hasSink(const SoundState& state, const std::string& name) {
  return state.findDevice(false, name) != nullptr;
}

// PipeWire acknowledges a module before its sink can take streams; a move
// onto it then fails.
void waitForSink(SoundServer& sound, const std::string& name) {
  using namespace std::chrono_literals;
  const auto deadline = std::chrono::steady_clock::now() + 1s;
  while (!hasSink(sound.snapshot(), name) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
}

// presets.json as the built-in presets and the user's; a file that cannot
// be used leaves the built-ins, with the reason.
WatchedFile<std::shared_ptr<const eq::CatalogLoad>>::Decode decodePresetsFile(
    const std::string& configDirectory) {
  return [path = eq::presetsFilePath(configDirectory)](const std::string& text) {
    try {
      return std::make_shared<const eq::CatalogLoad>(
          eq::CatalogLoad{eq::PresetCatalog(eq::parseUserPresets(text, path)), std::nullopt});
    } catch (const eq::PresetFileError& error) {
      return std::make_shared<const eq::CatalogLoad>(
          eq::CatalogLoad{eq::PresetCatalog(), error.description()});
    }
  };
}

}  // namespace

Equalizers::Equalizers(SoundServer& sound, Memory& memory, std::string configDirectory,
                       std::string plugin, Log log)
    : sound_(sound),
      memory_(memory),
      configDirectory_(std::move(configDirectory)),
      plugin_(std::move(plugin)),
      log_(std::move(log)),
      presetsFile_(eq::presetsFilePath(configDirectory_), decodePresetsFile(configDirectory_),
                   reader_) {}

const eq::PresetCatalog& Equalizers::catalog() {
  // Asked on each use and read again when it changed: edits to
  // presets.json apply without a restart.
  std::shared_ptr<const eq::CatalogLoad> loaded;
  std::string problem;
  try {
    loaded = presetsFile_.current();
    problem = loaded && loaded->problem ? *loaded->problem : "";
  } catch (const ConfigFileError& error) {
    problem = error.description();
  }
  if (!problem.empty() && problem != catalogProblem_) {
    log_("ignoring the user's EQ presets: " + problem);
  }
  if (loaded != loaded_ || problem != catalogProblem_) {
    catalog_ = loaded ? loaded->catalog : eq::PresetCatalog();
    if (problem.empty()) {
      lastGood_ = loaded;
    }
  }
  loaded_ = std::move(loaded);
  catalogProblem_ = std::move(problem);
  return catalog_;
}

std::optional<std::string> Equalizers::resolve(const std::string& word) {
  if (eq::isOffName(word)) {
    return std::nullopt;
  }
  const eq::PresetCatalog& presets = catalog();
  const eq::Preset* preset = presets.find(word);
  if (preset == nullptr) {
    std::string message = presets.unknownPresetMessage(word);
    if (!catalogProblem_.empty()) {
      message += ". The user's presets cannot be used: " + catalogProblem_;
    }
    throw RequestFailure(message);
  }
  return preset->name;
}

CLIEQInfo Equalizers::info(const std::string& appID) {
  // The remembered preset is the one the app list shows, whatever has
  // become of the file since it was chosen.
  const auto preset = presetOf(appID);
  CLIEQInfo info = catalog().info(preset);
  if (preset && !info.isEnabled && lastGood_) {
    info = lastGood_->catalog.info(preset);
  }
  if (preset && !info.isEnabled) {
    info = CLIEQInfo{true, preset, {}};  // its bands are not known any more
  }
  return info;
}

std::optional<std::string> Equalizers::presetOf(const std::string& appID) const {
  const auto settings = memory_.app(appID);
  return settings ? settings->eqPreset : std::nullopt;
}

bool Equalizers::follows(const std::string& appID) const {
  return active_.count(appID) > 0;
}

bool Equalizers::isEqualizerSink(const Device& device) const {
  return !device.isInput && isOurSinkName(device.name);
}

Equalizers::Active Equalizers::load(const std::string& appID, const std::string& presetName,
                                    const std::string& device) {
  const eq::Preset* preset = catalog().find(presetName);
  if (preset == nullptr) {
    throw RequestFailure(catalog_.unknownPresetMessage(presetName));
  }
  Active active;
  active.preset = preset->name;
  active.device = device;
  active.sink =
      std::string(sinkPrefix) + std::to_string(::getpid()) + "." + std::to_string(nextSink_++);
  const std::string arguments =
      eq::ladspaSinkArguments({active.sink, device, appID + " EQ", preset->gains}, plugin_);
  active.module = sound_.loadModule(std::string(eq::ladspaSinkModule), arguments);
  waitForSink(sound_, active.sink);
  return active;
}

void Equalizers::moveStreams(const std::vector<Stream>& streams, const std::string& sink) {
  for (const auto& stream : streams) {
    try {
      sound_.moveStream(stream.index, sink);
    } catch (const SoundServerRefusal&) {
      // Ended meanwhile.
    }
  }
}

void Equalizers::unload(const Active& active) {
  try {
    sound_.unloadModule(active.module);
  } catch (const SoundServerRefusal&) {
    // Already gone with its master device.
  }
}

void Equalizers::apply(const App& app, const std::optional<std::string>& preset,
                       const std::string& device) {
  const auto previous = active_.find(app.id);
  if (!preset) {
    moveStreams(app.streams, device);
    if (previous != active_.end()) {
      unload(previous->second);
      active_.erase(previous);
    }
    return;
  }
  // The new equaliser is ready before the streams leave the old one, so a
  // change of preset interrupts the sound only for the move.
  Active next = load(app.id, *preset, device);
  moveStreams(app.streams, next.sink);
  if (previous != active_.end()) {
    unload(previous->second);
  }
  active_[app.id] = std::move(next);
}

void Equalizers::moveTo(const App& app, const std::string& device) {
  const auto found = active_.find(app.id);
  if (found == active_.end()) {
    moveStreams(app.streams, device);
    return;
  }
  apply(app, found->second.preset, device);
}

void Equalizers::adopt(const Stream& stream, const std::string& appID, const std::string& preset,
                       const std::string& device) {
  auto found = active_.find(appID);
  if (found == active_.end() || found->second.device != device ||
      !eq::sameName(found->second.preset, preset)) {
    App app;
    app.id = appID;
    app.streams = {stream};
    apply(app, preset, device);
    return;
  }
  moveStreams({stream}, found->second.sink);
}

void Equalizers::defaultOutputChanged(const SoundState& state) {
  for (const auto& app : appsOf(state)) {
    const auto found = active_.find(app.id);
    if (found == active_.end()) {
      continue;
    }
    const auto settings = memory_.app(app.id);
    const bool followsDefault = !settings || !settings->device;
    if (followsDefault && found->second.device != state.defaultSink) {
      apply(app, found->second.preset, state.defaultSink);
    }
  }
}

void Equalizers::serverConnected(const SoundState& state) {
  // A restarted server took ours with it; the same connection announced
  // again keeps them.
  std::erase_if(active_, [&](const auto& entry) { return !hasSink(state, entry.second.sink); });
  // Left by an earlier run that could not clean up: streams back on the
  // real device, then the equaliser goes.
  std::map<std::uint32_t, std::uint32_t> leftovers;  // sink index -> module
  for (const auto& entry : state.sinks) {
    const Device& sink = entry.second;
    const bool ours = std::any_of(active_.begin(), active_.end(),
                                  [&](const auto& kept) { return kept.second.sink == sink.name; });
    if (!ours && isEqualizerSink(sink) && sink.ownerModule) {
      leftovers[entry.first] = *sink.ownerModule;
    }
  }
  for (const auto& [index, stream] : state.streams) {
    if (leftovers.count(stream.sink) > 0 && stream.client) {
      try {
        sound_.moveStream(stream.index, state.defaultSink);
      } catch (const SoundServerRefusal&) {
      }
    }
  }
  for (const auto& [sink, module] : leftovers) {
    try {
      sound_.unloadModule(module);
    } catch (const SoundServerRefusal&) {
    }
  }
}

void Equalizers::removeAll() {
  if (active_.empty()) {
    return;
  }
  try {
    const SoundState state = sound_.snapshot();
    for (const auto& [appID, active] : active_) {
      std::string device = active.device;
      if (state.findDevice(false, device) == nullptr) {
        device = state.defaultSink;
      }
      for (const auto& [index, stream] : state.streams) {
        const Device* sink = state.sinkByIndex(stream.sink);
        if (sink != nullptr && sink->name == active.sink && stream.client) {
          moveStreams({stream}, device);
        }
      }
      unload(active);
    }
  } catch (const SoundServerUnreachable&) {
    // The server is gone, and its modules with it.
  }
  active_.clear();
}

}  // namespace kestrune::daemon
