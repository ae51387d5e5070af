#include "DaemonFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <stdexcept>
#include <thread>

#include "json/Value.h"
#include "support/Process.h"
#include "support/Wave.h"

namespace kestrune::daemon::testing {

namespace {

using namespace std::chrono_literals;

using test_process::readFile;

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, const std::string& outPath,
            const std::string& errPath) {
  test_process::Command command;
  command.program = program;
  command.arguments = arguments;
  command.environment = environment;
  command.outPath = outPath;
  command.errPath = errPath;
  return test_process::spawn(command);
}

std::string uniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// A 16-bit stereo WAV of a quiet 440 Hz tone, long enough for any test.
void writeTone(const std::string& path) {
  if (exists(path)) {
    return;
  }
  constexpr unsigned rate = 44100;
  test_audio::writeWave(path, rate, rate * 120, [](std::uint32_t frame) {
    return 0.09 * std::sin(2 * std::numbers::pi * 440.0 * frame / rate);
  });
}

json::Value pactlJson(const SoundServer& server, const std::string& what) {
  return json::parse(server.pactl({"--format=json", "list", what}));
}

std::string stringOf(const json::Value* value) {
  return value != nullptr && value->isString() ? value->asString() : std::string();
}

// The sink inputs whose client name is `clientName`.
std::vector<const json::Value*> streamsOf(const json::Value& inputs,
                                          const std::string& clientName) {
  std::vector<const json::Value*> streams;
  for (const auto& input : inputs.asArray()) {
    const json::Value* properties = input.find("properties");
    if (properties != nullptr && stringOf(properties->find("application.name")) == clientName) {
      streams.push_back(&input);
    }
  }
  return streams;
}

// Whether one of the sink inputs is played by the process `pid`.
bool hasStreamOfProcess(const json::Value& inputs, const std::string& pid) {
  return std::any_of(inputs.asArray().begin(), inputs.asArray().end(), [&pid](const auto& input) {
    const json::Value* properties = input.find("properties");
    return properties != nullptr && stringOf(properties->find("application.process.id")) == pid;
  });
}

}  // namespace

// Process.

Process::Process(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, const std::string& logPath)
    : Process(program, arguments, environment, logPath, "/dev/null") {}

Process::Process(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, const std::string& logPath,
                 const std::string& outPath)
    : logPath_(logPath) {
  pid_ = spawn(program, arguments, environment, outPath, logPath_);
}

Process::~Process() {
  if (pid_ > 0) {
    test_process::stop(pid_, 3s);
  }
}

void Process::signal(int number) const {
  if (pid_ > 0) {
    ::kill(pid_, number);
  }
}

int Process::wait(std::chrono::milliseconds limit) {
  if (pid_ <= 0) {
    return -1;
  }
  const int status = test_process::waitOrKill(pid_, limit);
  pid_ = -1;
  return status;
}

bool Process::running() {
  if (pid_ > 0 && !test_process::running(pid_)) {
    pid_ = -1;
  }
  return pid_ > 0;
}

std::string Process::log() const {
  return readFile(logPath_);
}

Finished run(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment, std::chrono::milliseconds limit) {
  const std::string scratch = std::filesystem::temp_directory_path() / uniqueName("kestrune-run");
  const std::string outPath = scratch + ".out";
  const std::string errPath = scratch + ".err";
  const pid_t pid = spawn(program, arguments, environment, outPath, errPath);
  Finished finished;
  finished.status = test_process::waitOrKill(pid, limit);
  finished.out = readFile(outPath);
  finished.err = readFile(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return finished;
}

std::string nameOf(ServerKind kind) {
  return kind == ServerKind::pulseAudio ? "PulseAudio" : "PipeWire";
}

// SoundServer.

SoundServer::SoundServer(ServerKind kind, std::string directory)
    : kind_(kind), directory_(std::move(directory)) {
  std::filesystem::create_directories(directory_ + "/run");
  std::filesystem::create_directories(directory_ + "/home");
  ::chmod((directory_ + "/run").c_str(), 0700);
  start();
}

SoundServer::~SoundServer() {
  while (!processes_.empty()) {
    processes_.pop_back();
  }
}

std::vector<std::string> SoundServer::environmentFor(ServerKind kind,
                                                     const std::string& directory) {
  const std::string socket =
      kind == ServerKind::pulseAudio ? directory + "/native" : directory + "/run/pulse/native";
  // The configuration too is the server's own: a test may give the session
  // manager settings of its own there.
  return {"PULSE_SERVER=unix:" + socket, "XDG_RUNTIME_DIR=" + directory + "/run",
          "HOME=" + directory + "/home", "XDG_CONFIG_HOME=" + directory + "/home/.config",
          "DBUS_SESSION_BUS_ADDRESS=unix:path=" + directory + "/bus"};
}

std::string SoundServer::pactl(const std::vector<std::string>& arguments) const {
  Finished result = run("pactl", arguments, environment(), 10s);
  // PipeWire's pulse server now and then answers "Not supported" for an
  // object the session manager is still setting up: tried again briefly.
  if (result.status != 0 && kind_ == ServerKind::pipeWire &&
      result.err.find("Not supported") != std::string::npos) {
    eventually(
        [&] {
          result = run("pactl", arguments, environment(), 10s);
          return result.status == 0;
        },
        3s);
  }
  if (result.status != 0) {
    std::string command = "pactl";
    for (const std::string& argument : arguments) {
      command += " " + argument;
    }
    throw std::runtime_error(command + " failed: " + result.err);
  }
  return result.out;
}

void SoundServer::start() {
  if (kind_ == ServerKind::pulseAudio) {
    startPulseAudio();
  } else {
    startPipeWire();
  }
  if (!eventually([&] { return run("pactl", {"info"}, environment(), 5s).status == 0; }, 10s)) {
    throw std::runtime_error(
        nameOf(kind_) + " did not start: " + (processes_.empty() ? "" : processes_.back()->log()));
  }
  if (kind_ == ServerKind::pipeWire) {
    waitForDefaultsMetadata();
  }
  addDevices();
}

// PipeWire's pulse server keeps the default devices in the session
// manager's "default" metadata, and refuses to set them ("Not supported")
// until WirePlumber has made it, which a busy machine may take seconds to.
void SoundServer::waitForDefaultsMetadata() const {
  const bool made = eventually(
      [&] {
        const Finished listed = run("pw-cli", {"ls", "Metadata"}, environment(), 5s);
        return listed.out.find("metadata.name = \"default\"") != std::string::npos;
      },
      20s);
  if (!made) {
    throw std::runtime_error("WirePlumber made no \"default\" metadata: " +
                             processes_.at(2)->log());
  }
}

void SoundServer::startPulseAudio() {
  const std::string config = directory_ + "/server.pa";
  {
    std::ofstream out(config);
    out << "load-module module-native-protocol-unix socket=" << directory_
        << "/native auth-anonymous=1\n";
  }
  processes_.push_back(std::make_unique<Process>(
      "pulseaudio",
      std::vector<std::string>{"-n", "-F", config, "--daemonize=no", "--exit-idle-time=-1",
                               "--disable-shm=yes", "--use-pid-file=no", "--log-target=stderr"},
      environment(), directory_ + "/pulseaudio.log"));
}

namespace {

// The session manager forgets where each app's streams played: a server
// shared by a suite's tests would otherwise put an app's new stream where
// an earlier test moved that app.
void forgetStreamTargets(const std::string& directory) {
  const std::string scripts = directory + "/home/.config/wireplumber/main.lua.d";
  std::filesystem::create_directories(scripts);
  std::ofstream out(scripts + "/60-kestrune-tests-forget-targets.lua");
  out << "stream_defaults.properties[\"restore-target\"] = false\n";
  out.close();
  if (!out) {
    throw std::runtime_error("cannot write " + scripts);
  }
}

}  // namespace

void SoundServer::startPipeWire() {
  forgetStreamTargets(directory_);
  const std::string bus = directory_ + "/bus";
  std::filesystem::remove(bus);
  processes_.push_back(std::make_unique<Process>(
      "dbus-daemon",
      std::vector<std::string>{"--session", "--address=unix:path=" + bus, "--nofork"},
      environment(), directory_ + "/dbus.log"));
  eventually([&] { return exists(bus); }, 5s);
  processes_.push_back(std::make_unique<Process>("pipewire", std::vector<std::string>{},
                                                 environment(), directory_ + "/pipewire.log"));
  eventually([&] { return exists(directory_ + "/run/pipewire-0"); }, 5s);
  processes_.push_back(std::make_unique<Process>("wireplumber", std::vector<std::string>{},
                                                 environment(), directory_ + "/wireplumber.log"));
  processes_.push_back(std::make_unique<Process>("pipewire-pulse", std::vector<std::string>{},
                                                 environment(),
                                                 directory_ + "/pipewire-pulse.log"));
}

void SoundServer::addDevices() const {
  // PipeWire's pulse server may answer a moment before it can load modules
  // ("Not supported"): a load is tried again briefly.
  const auto load = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "load-module");
    Finished loaded;
    eventually([&] {
      loaded = run("pactl", arguments, environment(), 10s);
      return loaded.status == 0;
    });
    if (loaded.status != 0) {
      throw std::runtime_error("pactl failed: " + loaded.err);
    }
  };
  load({"module-null-sink", "sink_name=speakers", "sink_properties=device.description=Speakers"});
  load({"module-null-sink", "sink_name=headphones",
        "sink_properties=device.description=Headphones"});
  if (kind_ == ServerKind::pulseAudio) {
    load({"module-null-source", "source_name=mic", "description=Microphone"});
  } else {
    load({"module-null-sink", "sink_name=mic", "media.class=Audio/Source/Virtual",
          "sink_properties=device.description=Microphone"});
  }
  eventually([&] {
    const std::string sinks = pactl({"list", "short", "sinks"});
    const std::string sources = pactl({"list", "short", "sources"});
    return sinks.find("headphones") != std::string::npos &&
           sources.find("mic\t") != std::string::npos;
  });
  reset();
}

void SoundServer::reset() const {
  pactl({"set-default-sink", "speakers"});
  pactl({"set-default-source", "mic"});
  for (const char* sink : {"speakers", "headphones"}) {
    pactl({"set-sink-volume", sink, "100%"});
    pactl({"set-sink-mute", sink, "0"});
  }
  pactl({"set-source-mute", "mic", "0"});
  eventually([&] { return pactl({"get-default-sink"}).rfind("speakers", 0) == 0; });
}

void SoundServer::kill() {
  for (auto& process : processes_) {
    process->signal(SIGKILL);
  }
  while (!processes_.empty()) {
    processes_.back()->wait(5s);
    processes_.pop_back();
  }
  std::filesystem::remove(directory_ + "/native");
  std::filesystem::remove_all(directory_ + "/run/pulse");
}

// Player.

Player::Player(const SoundServer& server, const std::string& clientName,
               const std::vector<std::string>& properties, const std::string& device) {
  const std::string tone = std::filesystem::temp_directory_path() / "kestrune-test-tone.wav";
  writeTone(tone);
  std::vector<std::string> arguments{"--client-name=" + clientName,
                                     "--stream-name=" + clientName + " stream"};
  for (const auto& property : properties) {
    arguments.push_back("--property=" + property);
  }
  if (!device.empty()) {
    arguments.push_back("--device=" + device);
  }
  arguments.push_back(tone);
  // Up when the server shows a stream of this process. Found by its process
  // id, not its name: pactl's JSON shows a name with control characters as
  // "(null)".
  process_ = std::make_unique<Process>("paplay", arguments, server.environment(), "/dev/null");
  const std::string pid = std::to_string(process_->pid());
  if (!eventually([&] { return hasStreamOfProcess(pactlJson(server, "sink-inputs"), pid); })) {
    throw std::runtime_error("the player " + clientName + " did not appear on the server");
  }
}

// Daemon.

Daemon::Daemon(const SoundServer& server, const std::string& directory,
               const std::vector<std::string>& extraEnvironment)
    : directory_(directory),
      socketPath_(directory + "/kestruned.sock"),
      configDirectory_(directory + "/config") {
  std::vector<std::string> environment = server.environment();
  environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
  start(environment);
}

Daemon::Daemon(const std::vector<std::string>& environment, const std::string& directory)
    : directory_(directory),
      socketPath_(directory + "/kestruned.sock"),
      configDirectory_(directory + "/config") {
  start(environment);
}

void Daemon::start(const std::vector<std::string>& environment) {
  std::filesystem::create_directories(configDirectory_);
  process_ = std::make_unique<Process>(
      KESTRUNED_BINARY,
      std::vector<std::string>{"--socket", socketPath_, "--config", configDirectory_}, environment,
      directory_ + "/kestruned.log");
  if (!eventually([&] { return exists(socketPath_); }, 10s)) {
    throw std::runtime_error("kestruned did not start: " + process_->log());
  }
}

Finished Daemon::kestrune(std::vector<std::string> arguments) const {
  arguments.push_back("--socket");
  arguments.push_back(socketPath_);
  return run(KESTRUNE_BINARY, arguments, {"COLUMNS=200"});
}

std::string Daemon::ask(std::vector<std::string> arguments) const {
  const Finished result = kestrune(arguments);
  if (result.status != 0 || !result.err.empty()) {
    std::string line;
    for (const auto& argument : arguments) {
      line += " " + argument;
    }
    throw std::runtime_error("kestrune" + line + " failed (" + std::to_string(result.status) +
                             "): " + result.err + result.out);
  }
  return result.out;
}

// ScratchDirectory.

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestruned-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

// Observations through pactl.

std::vector<std::string> streamIndicesOfClient(const SoundServer& server,
                                               const std::string& clientName) {
  std::vector<std::string> result;
  const json::Value inputs = pactlJson(server, "sink-inputs");
  for (const auto* stream : streamsOf(inputs, clientName)) {
    result.push_back(std::to_string(stream->find("index")->exactInteger().value_or(-1)));
  }
  return result;
}

std::vector<std::string> sinksOfClient(const SoundServer& server, const std::string& clientName) {
  const json::Value sinks = pactlJson(server, "sinks");
  std::map<std::int64_t, std::string> names;
  for (const auto& sink : sinks.asArray()) {
    names[sink.find("index")->exactInteger().value_or(-1)] = stringOf(sink.find("name"));
  }
  std::vector<std::string> result;
  const json::Value inputs = pactlJson(server, "sink-inputs");
  for (const auto* stream : streamsOf(inputs, clientName)) {
    result.push_back(names[stream->find("sink")->exactInteger().value_or(-1)]);
  }
  return result;
}

std::optional<bool> clientMuted(const SoundServer& server, const std::string& clientName) {
  const json::Value inputs = pactlJson(server, "sink-inputs");
  const auto streams = streamsOf(inputs, clientName);
  if (streams.empty()) {
    return std::nullopt;
  }
  bool all = true;
  for (const auto* stream : streams) {
    all = all && stream->find("mute")->asBool();
  }
  return all;
}

std::vector<int> clientVolumes(const SoundServer& server, const std::string& clientName) {
  std::vector<int> result;
  const json::Value inputs = pactlJson(server, "sink-inputs");
  for (const auto* stream : streamsOf(inputs, clientName)) {
    const json::Value* volume = stream->find("volume");
    double sum = 0;
    int channels = 0;
    for (const auto& [channel, value] : volume->asObject()) {
      sum += value.find("value")->asDouble();
      ++channels;
    }
    result.push_back(static_cast<int>(std::lround(sum / channels * 100.0 / 65536.0)));
  }
  return result;
}

}  // namespace kestrune::daemon::testing
