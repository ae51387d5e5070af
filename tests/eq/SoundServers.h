#pragma once
// Private sound servers for the equaliser's end-to-end tests: a PulseAudio,
// or a PipeWire with its session manager and pulse server, each on sockets
// in its own directory, with one null sink "speakers". Clients (pactl,
// paplay, parec) reach it through clientEnvironment().

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::eq::testing {

using Environment = std::map<std::string, std::string>;

// A child process, terminated (and reaped) when this goes away.
class Child {
 public:
  Child() = default;
  // stdoutPath / stderrPath empty: /dev/null.
  Child(const std::vector<std::string>& argv, const Environment& overrides,
        const std::string& stdoutPath = {}, const std::string& stderrPath = {});
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  pid_t pid() const noexcept { return pid_; }
  bool running();
  // SIGTERM, then SIGKILL if it has not ended within the grace period.
  void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
  // The exit status once it ends by itself (128 + signal if killed; -1 if
  // it has not ended in time).
  int wait(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
};

struct RunResult {
  int status = -1;  // exit status; -1 when killed or timed out
  std::string output;
};

// Runs a command to its end (at most `timeout`), collecting its standard
// output.
RunResult run(const std::vector<std::string>& argv, const Environment& overrides,
              std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

enum class ServerKind { pulseAudio, pipeWire };
const char* serverName(ServerKind kind);

class SoundServer {
 public:
  // Empty `problem()` when it runs; otherwise why it could not start.
  SoundServer(ServerKind kind, const Environment& serverEnvironment);
  ~SoundServer();
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;

  const std::string& problem() const noexcept { return problem_; }
  const std::string& directory() const noexcept { return directory_; }
  const Environment& clientEnvironment() const noexcept { return client_; }
  // pactl with these arguments against this server.
  RunResult pactl(const std::vector<std::string>& arguments) const;

 private:
  bool startPulseAudio(const Environment& extra);
  bool startPipeWire(const Environment& extra);
  bool waitUntilAnswering();
  // Whether the process just added runs; the problem otherwise.
  bool started(const std::string& program);

  std::string directory_;
  std::string problem_;
  Environment client_;
  std::vector<Child> processes_;  // in start order; stopped in reverse
};

}  // namespace kestrune::eq::testing
