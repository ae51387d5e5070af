#include "eq/SoundServers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/Process.h"

namespace kestrune::eq::testing {

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// Spawns argv with stdout going to `stdoutFd` (or a file, or /dev/null);
// -1 when it cannot start.
pid_t spawn(const std::vector<std::string>& argv, const Environment& overrides, int stdoutFd,
            const std::string& stdoutPath, const std::string& stderrPath) {
  test_process::Command command;
  command.program = argv[0];
  command.arguments.assign(argv.begin() + 1, argv.end());
  for (const auto& [name, value] : overrides) {
    std::string entry = name;
    entry += '=';
    entry += value;
    command.environment.push_back(std::move(entry));
  }
  command.outDescriptor = stdoutFd;
  command.outPath = stdoutPath.empty() ? "/dev/null" : stdoutPath;
  command.errPath = stderrPath.empty() ? "/dev/null" : stderrPath;
  try {
    return test_process::spawn(command);
  } catch (const std::runtime_error&) {
    return -1;
  }
}

bool waitFor(milliseconds timeout, const auto& condition) {
  return test_process::waitUntil(condition, timeout, milliseconds(25)) || condition();
}

std::string makeDirectory() {
  std::string pattern = "/tmp/kestrune-eq-server-XXXXXX";
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const Environment& overrides,
             const std::string& stdoutPath, const std::string& stderrPath)
    : pid_(spawn(argv, overrides, -1, stdoutPath, stderrPath)) {}

Child::Child(Child&& other) noexcept : pid_(other.pid_) {
  other.pid_ = -1;
}

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    stop();
    pid_ = other.pid_;
    other.pid_ = -1;
  }
  return *this;
}

Child::~Child() {
  stop();
}

bool Child::running() {
  if (pid_ > 0 && !test_process::running(pid_)) {
    pid_ = -1;
  }
  return pid_ > 0;
}

int Child::wait(milliseconds timeout) {
  if (pid_ <= 0) {
    return -1;
  }
  const auto status = test_process::waitForExit(pid_, timeout);
  if (status) {
    pid_ = -1;
  }
  return status.value_or(-1);
}

void Child::stop(milliseconds grace) {
  if (running()) {
    test_process::stop(pid_, grace);
    pid_ = -1;
  }
}

RunResult run(const std::vector<std::string>& argv, const Environment& overrides,
              milliseconds timeout) {
  std::array<int, 2> pipeEnds{};
  if (::pipe2(pipeEnds.data(), O_CLOEXEC) != 0) {
    return {};
  }
  const pid_t pid = spawn(argv, overrides, pipeEnds[1], {}, {});
  ::close(pipeEnds[1]);
  RunResult result;
  const auto deadline = Clock::now() + timeout;
  std::array<char, 4096> buffer{};
  while (pid > 0 && Clock::now() < deadline) {
    pollfd readable{pipeEnds[0], POLLIN, 0};
    if (::poll(&readable, 1, 50) <= 0) {
      continue;
    }
    const ssize_t n = ::read(pipeEnds[0], buffer.data(), buffer.size());
    if (n <= 0) {
      break;
    }
    result.output.append(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(pipeEnds[0]);
  if (pid > 0) {
    int status = 0;
    if (Clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
    }
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return result;
}

const char* serverName(ServerKind kind) {
  return kind == ServerKind::pulseAudio ? "PulseAudio" : "PipeWire";
}

SoundServer::SoundServer(ServerKind kind, const Environment& serverEnvironment)
    : directory_(makeDirectory()) {
  if (directory_.empty()) {
    problem_ = "cannot create a directory";
    return;
  }
  const bool started = kind == ServerKind::pulseAudio ? startPulseAudio(serverEnvironment)
                                                      : startPipeWire(serverEnvironment);
  if (started && !waitUntilAnswering()) {
    problem_ = std::string(serverName(kind)) + " does not answer (logs in " + directory_ + ")";
  }
}

SoundServer::~SoundServer() {
  while (!processes_.empty()) {
    processes_.pop_back();  // stops it
  }
  if (problem_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

RunResult SoundServer::pactl(const std::vector<std::string>& arguments) const {
  std::vector<std::string> argv = {"pactl"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return run(argv, client_);
}

bool SoundServer::startPulseAudio(const Environment& extra) {
  const std::string config = directory_ + "/pa.pa";
  std::ofstream out(config);
  out << "load-module module-native-protocol-unix socket=" << directory_
      << "/native auth-anonymous=1\n"
      << "load-module module-null-sink sink_name=speakers "
         "sink_properties=device.description=Speakers\n"
      << "load-module module-null-source source_name=mic\n";
  out.close();
  if (!out) {
    problem_ = "cannot write " + config;
    return false;
  }
  std::filesystem::create_directories(directory_ + "/run");
  Environment env = extra;
  env["HOME"] = directory_;
  env["XDG_RUNTIME_DIR"] = directory_ + "/run";
  processes_.emplace_back(
      std::vector<std::string>{"pulseaudio", "-n", "-F", config, "--daemonize=no",
                               "--exit-idle-time=-1", "--disable-shm=yes", "--use-pid-file=no",
                               "--log-target=stderr"},
      env, "", directory_ + "/pulseaudio.log");
  client_ = {{"PULSE_SERVER", "unix:" + directory_ + "/native"}};
  return started("pulseaudio");
}

bool SoundServer::startPipeWire(const Environment& extra) {
  const std::string runtime = directory_ + "/run";
  std::filesystem::create_directories(runtime);
  std::filesystem::create_directories(directory_ + "/home");
  ::chmod(runtime.c_str(), 0700);
  const std::string bus = directory_ + "/bus";
  Environment env = extra;
  env["HOME"] = directory_ + "/home";
  env["XDG_RUNTIME_DIR"] = runtime;
  env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + bus;
  processes_.emplace_back(
      std::vector<std::string>{"dbus-daemon", "--session", "--address=unix:path=" + bus, "--nofork",
                               "--nopidfile"},
      env, "", directory_ + "/dbus.log");
  if (!started("dbus-daemon")) {
    return false;
  }
  if (!waitFor(milliseconds(5000), [&] { return std::filesystem::exists(bus); })) {
    problem_ = "dbus-daemon did not start";
    return false;
  }
  processes_.emplace_back(std::vector<std::string>{"pipewire"}, env, "",
                          directory_ + "/pipewire.log");
  if (!started("pipewire")) {
    return false;
  }
  if (!waitFor(milliseconds(5000),
               [&] { return std::filesystem::exists(runtime + "/pipewire-0"); })) {
    problem_ = "pipewire did not start";
    return false;
  }
  processes_.emplace_back(std::vector<std::string>{"wireplumber"}, env, "",
                          directory_ + "/wireplumber.log");
  if (!started("wireplumber")) {
    return false;
  }
  processes_.emplace_back(std::vector<std::string>{"pipewire-pulse"}, env, "",
                          directory_ + "/pipewire-pulse.log");
  if (!started("pipewire-pulse")) {
    return false;
  }
  client_ = {{"PULSE_SERVER", "unix:" + runtime + "/pulse/native"}};
  if (!waitFor(milliseconds(5000), [&] { return pactl({"info"}).status == 0; })) {
    return true;  // reported by waitUntilAnswering
  }
  if (pactl({"load-module", "module-null-sink", "sink_name=speakers",
             "sink_properties=device.description=Speakers"})
          .status != 0) {
    problem_ = "cannot create the null sink";
    return false;
  }
  return true;
}

bool SoundServer::started(const std::string& program) {
  if (processes_.back().pid() > 0) {
    return true;
  }
  problem_ = "cannot run " + program + " (is it installed?)";
  return false;
}

bool SoundServer::waitUntilAnswering() {
  // Answering, and (for PipeWire) the session manager has picked the null
  // sink as the default, so that it links streams.
  return waitFor(milliseconds(10000), [&] {
    const RunResult info = pactl({"info"});
    return info.status == 0 && info.output.find("Default Sink: speakers") != std::string::npos;
  });
}

}  // namespace kestrune::eq::testing
