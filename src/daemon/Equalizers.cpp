#include "daemon/Equalizers.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <iterator>
#include <thread>
#include <utility>

#include "daemon/InstanceLock.h"
#include "daemon/Memory.h"
#include "daemon/RequestFailure.h"
#include "eq/ProfileFile.h"
#include "eq/SinkModule.h"
#include "eq/UserPresets.h"
#include "platform/Files.h"

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

// Filter sinks name the device they play on in this property.
constexpr std::string_view masterDeviceProperty = "device.master_device";

// Ours name the daemon that loaded them: its process and state directory.
constexpr std::string_view ownerProcessProperty = "kestrune.owner.process";
constexpr std::string_view ownerStateProperty = "kestrune.owner.state";

// The module arguments carry no quotes or backslashes: those, and '%',
// travel as %XX.
std::string encodedPath(const std::string& path) {
  static constexpr std::string_view hex = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : path) {
    if (c == '%' || c == '\'' || c == '"' || c == '\\') {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += hex[byte >> 4U];
      encoded += hex[byte & 0xFU];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

std::string decodedPath(const std::string& encoded) {
  std::string path;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    unsigned byte = 0;
    const char* digits = encoded.data() + i + 1;
    if (encoded[i] == '%' && i + 2 < encoded.size() &&
        std::from_chars(digits, digits + 2, byte, 16).ptr == digits + 2) {
      path += static_cast<char>(byte);
      i += 2;
    } else {
      path += encoded[i];
    }
  }
  return path;
}

std::optional<pid_t> processNumber(std::string_view digits) {
  pid_t number = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size() || number <= 0) {
    return std::nullopt;
  }
  return number;
}

// The process that loaded one of our sinks: from its property, else from
// its name (kestrune_eq.<process>.<n>), which older daemons gave alone.
std::optional<pid_t> ownerProcess(const Device& sink) {
  if (const auto found = sink.properties.find(ownerProcessProperty);
      found != sink.properties.end()) {
    return processNumber(found->second);
  }
  const std::string_view rest = std::string_view(sink.name).substr(sinkPrefix.size());
  return processNumber(rest.substr(0, rest.find('.')));
}

bool isRunningDaemon(pid_t process) {
  const auto name = platform::readFile("/proc/" + std::to_string(process) + "/comm", 256);
  return name && *name == "kestruned\n";
}

// The apps' streams (not those of modules) playing on a sink.
std::vector<Stream> streamsOn(const SoundState& state, const std::string& sinkName) {
  std::vector<Stream> streams;
  const Device* sink = state.findDevice(false, sinkName);
  for (const auto& [index, stream] : state.streams) {
    if (sink != nullptr && stream.sink == sink->index && stream.client) {
      streams.push_back(stream);
    }
  }
  return streams;
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
                       std::string stateDirectory, std::string plugin, Log log)
    : sound_(sound),
      memory_(memory),
      configDirectory_(std::move(configDirectory)),
      stateDirectory_(std::move(stateDirectory)),
      plugin_(std::move(plugin)),
      log_(std::move(log)),
      presetsFile_(eq::presetsFilePath(configDirectory_), decodePresetsFile(configDirectory_),
                   reader_),
      profileFolder_(eq::profileFolderPath(configDirectory_), reader_) {}

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
  std::shared_ptr<const ProfileFolder::Reading> profiles = profileFolder_.current();
  if (loaded != loaded_ || problem != catalogProblem_ || profiles != profiles_) {
    catalog_ = loaded ? loaded->catalog : eq::PresetCatalog();
    if (problem.empty()) {
      lastGood_ = loaded;
    }
    addProfiles(*profiles);
  }
  loaded_ = std::move(loaded);
  catalogProblem_ = std::move(problem);
  profiles_ = std::move(profiles);
  return catalog_;
}

void Equalizers::addProfiles(const ProfileFolder::Reading& profiles) {
  profileProblems_ = profiles.problems;
  for (const eq::Preset& preset : profiles.presets) {
    if (const auto clash = catalog_.add(preset)) {
      profileProblems_.push_back(eq::profileFolderPath(configDirectory_) + "/" + preset.name +
                                 std::string(eq::profileExtension) + ": " + *clash);
    }
  }
  const auto once = [&](const std::string& line) {
    if (reported_.insert(line).second) {
      log_(line);
    }
  };
  for (const std::string& problem : profileProblems_) {
    once("ignoring an EQ profile: " + problem);
  }
  for (const eq::Preset& preset : catalog_.presets()) {
    if (const auto warning = eq::headroomWarning(preset)) {
      once(*warning);
    }
  }
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
    for (const std::string& problem : profileProblems_) {
      message += ". An EQ profile cannot be used: " + problem;
    }
    throw RequestFailure(message);
  }
  return preset->name;
}

std::vector<EQPresetInfo> Equalizers::presetList() {
  std::vector<EQPresetInfo> list;
  for (const eq::Preset& preset : catalog().presets()) {
    list.push_back({preset.name, preset.parametric.has_value()});
  }
  return list;
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

std::optional<std::string> Equalizers::warningFor(const std::string& appID) {
  const auto preset = presetOf(appID);
  const eq::Preset* found = preset ? catalog().find(*preset) : nullptr;
  return found != nullptr ? eq::headroomWarning(*found) : std::nullopt;
}

bool Equalizers::follows(const std::string& appID) const {
  const auto found = active_.find(appID);
  return found != active_.end() && !found->second.empty();
}

bool Equalizers::isEqualizerSink(const Device& device) const {
  return !device.isInput && isOurSinkName(device.name);
}

std::optional<std::string> Equalizers::deviceBehind(const Device& sink) const {
  if (sink.isInput) {
    return std::nullopt;
  }
  if (const Active* active = activeBySink(sink.name)) {
    return active->device;
  }
  if (const std::string* device = deviceCorrectedBy(sink.name)) {
    return *device;
  }
  return std::nullopt;
}

const std::string* Equalizers::deviceCorrectedBy(const std::string& sink) const {
  for (const auto& [device, correction] : corrections_) {
    if (correction.sink == sink) {
      return &device;
    }
  }
  return nullptr;
}

std::string Equalizers::entryOf(const std::string& device) const {
  const auto found = corrections_.find(device);
  return found != corrections_.end() ? found->second.sink : device;
}

const Equalizers::Active* Equalizers::activeBySink(const std::string& sink) const {
  for (const auto& [appID, actives] : active_) {
    for (const Active& active : actives) {
      if (active.sink == sink) {
        return &active;
      }
    }
  }
  return nullptr;
}

std::string Equalizers::homeOf(const Stream& stream, const SoundState& state) const {
  const Device* sink = state.sinkByIndex(stream.sink);
  if (sink == nullptr) {
    return state.defaultSink;
  }
  if (const auto device = deviceBehind(*sink)) {
    return *device;
  }
  // Left by an earlier run: the server names the sink each plays on, which
  // may be another of ours (an app's equaliser on a correction).
  for (int hops = 0; sink != nullptr && isEqualizerSink(*sink) && hops < 4; ++hops) {
    const auto master = sink->properties.find(masterDeviceProperty);
    sink = master != sink->properties.end() ? state.findDevice(false, master->second) : nullptr;
  }
  return sink != nullptr && !isEqualizerSink(*sink) ? sink->name : state.defaultSink;
}

std::string Equalizers::sinkArguments(const std::string& sink, const std::string& master,
                                      const std::string& description,
                                      const eq::Preset& preset) const {
  // Named after this daemon, so that another one leaves it alone.
  const eq::EqualizerSink equalizer{
      sink,
      master,
      description,
      preset.gains,
      preset.parametric,
      {{std::string(ownerProcessProperty), std::to_string(::getpid())},
       {std::string(ownerStateProperty), encodedPath(stateDirectory_)}}};
  return eq::ladspaSinkArguments(equalizer, plugin_);
}

Equalizers::Active Equalizers::load(const std::string& appID, const std::string& presetName,
                                    const std::string& device, const SoundState& state) {
  const eq::Preset* preset = catalog().find(presetName);
  if (preset == nullptr) {
    throw RequestFailure(catalog_.unknownPresetMessage(presetName));
  }
  Active active;
  active.preset = preset->name;
  active.device = device;
  const auto settings = memory_.app(appID);
  active.followsDefault = device == state.defaultSink && !(settings && settings->device);
  active.sink =
      std::string(sinkPrefix) + std::to_string(::getpid()) + "." + std::to_string(nextSink_++);
  const std::string arguments = sinkArguments(active.sink, entryOf(device), appID + " EQ", *preset);
  active.module = sound_.loadModule(std::string(eq::ladspaSinkModule), arguments);
  waitForSink(sound_, active.sink);
  return active;
}

void Equalizers::moveStreams(const std::vector<Stream>& streams, const std::string& sink) {
  for (const auto& stream : streams) {
    try {
      sound_.moveStream(stream.index, sink);
    } catch (const SoundServerRefusal&) {
      // Not the user's problem when the stream ended meanwhile.
      if (sound_.snapshot().streams.count(stream.index) > 0) {
        throw;
      }
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

void Equalizers::keepAndPrune(const std::string& appID, std::vector<Active> loaded) {
  std::vector<Active>& kept = active_[appID];
  std::move(loaded.begin(), loaded.end(), std::back_inserter(kept));
  const SoundState state = sound_.snapshot();
  std::erase_if(kept, [&](const Active& active) {
    if (!streamsOn(state, active.sink).empty()) {
      return false;
    }
    unload(active);
    return true;
  });
  if (kept.empty()) {
    active_.erase(appID);
  }
}

void Equalizers::putThrough(const std::string& appID, const StreamsByDevice& streams,
                            const std::string& preset) {
  const SoundState state = sound_.snapshot();
  // The new equalisers are ready before the streams leave the old ones, so
  // a change of preset interrupts the sound only for the move.
  std::vector<Active> loaded;
  try {
    for (const auto& [device, moving] : streams) {
      loaded.push_back(load(appID, preset, device, state));
      moveStreams(moving, loaded.back().sink);
    }
  } catch (...) {
    // What did move stays where it is, on an equaliser that is kept.
    keepAndPrune(appID, std::move(loaded));
    throw;
  }
  keepAndPrune(appID, std::move(loaded));
}

void Equalizers::apply(const App& app, const std::optional<std::string>& preset) {
  const SoundState state = sound_.snapshot();
  StreamsByDevice byDevice;
  for (const auto& stream : app.streams) {
    std::string home = homeOf(stream, state);
    const Device* sink = state.sinkByIndex(stream.sink);
    const bool atHome = sink != nullptr && sink->name == entryOf(home);
    if (preset || !atHome) {
      byDevice[std::move(home)].push_back(stream);
    }
  }
  if (preset) {
    putThrough(app.id, byDevice, *preset);
    return;
  }
  for (const auto& [device, streams] : byDevice) {
    moveStreams(streams, entryOf(device));
  }
  if (active_.count(app.id) > 0) {
    keepAndPrune(app.id, {});
  }
}

void Equalizers::moveTo(const App& app, const std::string& device) {
  const auto found = active_.find(app.id);
  if (found == active_.end() || found->second.empty()) {
    moveStreams(app.streams, device);
    return;
  }
  const std::string preset = found->second.front().preset;
  putThrough(app.id, {{device, app.streams}}, preset);
}

void Equalizers::adopt(const Stream& stream, const std::string& appID, const std::string& preset,
                       const std::optional<std::string>& device) {
  const std::string target = device ? *device : homeOf(stream, sound_.snapshot());
  if (const auto found = active_.find(appID); found != active_.end()) {
    for (const Active& active : found->second) {
      if (active.device == target && eq::sameName(active.preset, preset)) {
        const std::string sink = active.sink;
        moveStreams({stream}, sink);
        return;
      }
    }
  }
  putThrough(appID, {{target, {stream}}}, preset);
}

void Equalizers::defaultOutputChanged(const SoundState& state) {
  for (const auto& app : appsOf(state)) {
    const auto found = active_.find(app.id);
    const auto settings = memory_.app(app.id);
    if (found == active_.end() || (settings && settings->device)) {
      continue;
    }
    const std::vector<Active> current = found->second;  // putThrough changes the list
    for (const Active& active : current) {
      if (!active.followsDefault || active.device == state.defaultSink) {
        continue;
      }
      const std::vector<Stream> streams = streamsOn(state, active.sink);
      if (!streams.empty()) {
        putThrough(app.id, {{state.defaultSink, streams}}, active.preset);
      }
    }
  }
}

void Equalizers::serverConnected(const SoundState& state) {
  // A restarted server took ours with it; the same connection announced
  // again keeps them.
  for (auto& [appID, actives] : active_) {
    std::erase_if(actives, [&](const Active& active) { return !hasSink(state, active.sink); });
  }
  std::erase_if(active_, [](const auto& entry) { return entry.second.empty(); });
  std::erase_if(corrections_,
                [&](const auto& entry) { return !hasSink(state, entry.second.sink); });
  refusedCorrections_.clear();
  unmovable_.clear();
  // Left by an earlier run that could not clean up: streams back on the
  // real device, then the equaliser goes.
  std::map<std::uint32_t, std::uint32_t> leftovers;  // sink index -> module
  for (const auto& [index, sink] : state.sinks) {
    if (!deviceBehind(sink) && isEqualizerSink(sink) && sink.ownerModule && ownerGone(sink)) {
      leftovers[index] = *sink.ownerModule;
    }
  }
  for (const auto& [index, stream] : state.streams) {
    if (leftovers.count(stream.sink) > 0 && stream.client) {
      try {
        sound_.moveStream(stream.index, homeOf(stream, state));
      } catch (const SoundServerRefusal&) {
      } catch (const SoundServerIgnoredMove& ignored) {
        log_(ignored.description());
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

bool Equalizers::ownerGone(const Device& sink) const {
  const auto process = ownerProcess(sink);
  if (!process || *process == ::getpid()) {
    return true;  // ours from before the server's restart, or nobody's
  }
  const auto state = sink.properties.find(ownerStateProperty);
  if (state == sink.properties.end()) {
    return !isRunningDaemon(*process);
  }
  const auto holder = lockHolder(decodedPath(state->second));
  return !holder || holder->process != *process;
}

void Equalizers::removeAll() {
  if (active_.empty() && corrections_.empty()) {
    return;
  }
  try {
    const SoundState state = sound_.snapshot();
    std::vector<SoundServer::Move> moves;
    std::vector<std::uint32_t> modules;
    for (const auto& [appID, actives] : active_) {
      for (const Active& active : actives) {
        const std::string device =
            hasSink(state, active.device) ? active.device : state.defaultSink;
        for (const Stream& stream : streamsOn(state, active.sink)) {
          moves.push_back({stream.index, device});
        }
        modules.push_back(active.module);
      }
    }
    // The corrections go with the apps' equalisers that play on them.
    for (const auto& [device, correction] : corrections_) {
      const std::string home = hasSink(state, device) ? device : state.defaultSink;
      for (const Stream& stream : streamsOn(state, correction.sink)) {
        moves.push_back({stream.index, home});
      }
      modules.push_back(correction.module);
    }
    for (const std::string& ignored : sound_.restore(moves, modules)) {
      log_(ignored);
    }
  } catch (const SoundServerUnreachable&) {
    // The server is gone, and its modules with it.
  }
  active_.clear();
  corrections_.clear();
}

void Equalizers::logOnce(const std::string& line) {
  if (reported_.insert(line).second) {
    log_(line);
  }
}

void Equalizers::correct(const std::map<std::string, std::string>& wanted) {
  if (wanted.empty() && corrections_.empty()) {
    return;  // asked on every change of the picture
  }
  const SoundState state = sound_.snapshot();
  std::erase_if(refusedCorrections_,
                [&](const std::string& device) { return !hasSink(state, device); });
  for (auto at = corrections_.begin(); at != corrections_.end();) {
    const auto want = wanted.find(at->first);
    // PipeWire keeps a filter whose device went; PulseAudio unloads it.
    if (hasSink(state, at->first) && hasSink(state, at->second.sink) && want != wanted.end() &&
        eq::sameName(want->second, at->second.preset) && !curveChanged(at->second)) {
      ++at;
      continue;
    }
    const std::string device = at->first;
    const Correction gone = at->second;
    at = corrections_.erase(at);
    removeCorrection(device, gone);
  }
  for (const auto& [device, preset] : wanted) {
    const Device* sink = state.findDevice(false, device);
    if (sink == nullptr || isEqualizerSink(*sink) || corrections_.count(device) > 0 ||
        refusedCorrections_.count(device) > 0) {
      continue;
    }
    addCorrection(device, preset);
  }
  for (const auto& [device, correction] : corrections_) {
    moveThroughCorrection(device, correction);
  }
}

void Equalizers::addCorrection(const std::string& device, const std::string& presetName) {
  const eq::Preset* preset = catalog().find(presetName);
  if (preset == nullptr) {
    // Tried again as the presets change.
    logOnce("no correction on " + device + ": " + catalog_.unknownPresetMessage(presetName));
    return;
  }
  Correction correction;
  correction.preset = preset->name;
  correction.gains = preset->gains;
  correction.parametric = preset->parametric;
  correction.sink =
      std::string(sinkPrefix) + std::to_string(::getpid()) + "." + std::to_string(nextSink_++);
  const std::string arguments =
      sinkArguments(correction.sink, device, device + " correction", *preset);
  try {
    correction.module = sound_.loadModule(std::string(eq::ladspaSinkModule), arguments);
  } catch (const SoundServerRefusal& refusal) {
    refusedCorrections_.insert(device);
    log_("no correction on " + device + ": " + refusal.description());
    return;
  }
  waitForSink(sound_, correction.sink);
  corrections_[device] = correction;
  reroute(device);
}

void Equalizers::removeCorrection(const std::string& device, const Correction& correction) {
  if (hasSink(sound_.snapshot(), device)) {
    reroute(device);
    try {
      moveStreams(streamsOn(sound_.snapshot(), correction.sink), device);
    } catch (const SoundServerIgnoredMove& ignored) {
      log_(ignored.description());
    } catch (const SoundServerRefusal&) {
      // The device went meanwhile; the server moves what played there.
    }
  }
  try {
    sound_.unloadModule(correction.module);
  } catch (const SoundServerRefusal&) {
    // Already gone with its device.
  }
}

bool Equalizers::curveChanged(const Correction& correction) {
  const eq::Preset* now = catalog().find(correction.preset);
  return now != nullptr &&
         (now->gains != correction.gains || now->parametric != correction.parametric);
}

void Equalizers::reroute(const std::string& device) {
  const SoundState state = sound_.snapshot();
  std::vector<std::pair<std::string, Active>> playing;
  for (const auto& [appID, actives] : active_) {
    for (const Active& active : actives) {
      if (active.device == device) {
        playing.emplace_back(appID, active);
      }
    }
  }
  for (const auto& [appID, active] : playing) {
    const std::vector<Stream> streams = streamsOn(state, active.sink);
    if (!streams.empty()) {
      putThrough(appID, {{device, streams}}, active.preset);
    }
  }
}

void Equalizers::moveThroughCorrection(const std::string& device, const Correction& correction) {
  const SoundState state = sound_.snapshot();
  for (const Stream& stream : streamsOn(state, device)) {
    if (unmovable_.count(stream.index) > 0) {
      continue;
    }
    try {
      sound_.moveStream(stream.index, correction.sink);
    } catch (const SoundServerRefusal&) {
      // Ended meanwhile.
    } catch (const SoundServerIgnoredMove& ignored) {
      unmovable_.insert(stream.index);
      log_(ignored.description());
    }
  }
}

}  // namespace kestrune::daemon
