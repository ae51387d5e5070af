#pragma once
// Real sound servers, players and the real kestruned for end-to-end tests:
// each started on private sockets in a temporary directory and stopped by
// process id. Effects are checked with pactl, never with our own answers.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::daemon::testing {

struct Finished {
  int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
  std::string out;
  std::string err;
};

// A program in the background, with `environment` ("NAME=value") added to
// this process's; stopped with SIGTERM (then SIGKILL) when dropped.
class Process {
 public:
  Process(const std::string& program, const std::vector<std::string>& arguments,
          const std::vector<std::string>& environment, const std::string& logPath);
  // The same with standard output kept in `outPath`.
  Process(const std::string& program, const std::vector<std::string>& arguments,
          const std::vector<std::string>& environment, const std::string& logPath,
          const std::string& outPath);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  pid_t pid() const { return pid_; }
  void signal(int number) const;
  // The exit status within `limit`, else -1 after killing it.
  int wait(std::chrono::milliseconds limit);
  bool running();
  std::string log() const;

 private:
  std::string logPath_;
  pid_t pid_ = -1;
};

Finished run(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {},
             std::chrono::milliseconds limit = std::chrono::seconds(20));

// Waits until the predicate holds, polling every 10 ms; whether it did.
template <class Predicate>
bool eventually(Predicate predicate,
                std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

enum class ServerKind { pulseAudio, pipeWire };
std::string nameOf(ServerKind kind);

// A private sound server with two null sinks, "speakers" (the default) and
// "headphones", and a null source "mic".
class SoundServer {
 public:
  SoundServer(ServerKind kind, std::string directory);
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;
  ~SoundServer();

  ServerKind kind() const { return kind_; }
  // What clients need in their environment to reach it.
  std::vector<std::string> environment() const { return environmentFor(kind_, directory_); }
  // The same for a server not started yet.
  static std::vector<std::string> environmentFor(ServerKind kind, const std::string& directory);
  // pactl's standard output; the test fails when pactl does.
  std::string pactl(const std::vector<std::string>& arguments) const;
  // Brings the devices back to their first state (default devices,
  // volumes, mutes).
  void reset() const;
  void kill();   // SIGKILL, as a crash would
  void start();  // again, after kill()

 private:
  void startPulseAudio();
  void startPipeWire();
  void addDevices() const;
  void waitForDefaultsMetadata() const;

  ServerKind kind_;
  std::string directory_;
  std::vector<std::unique_ptr<Process>> processes_;  // started in order, stopped in reverse
};

// A playback client: paplay looping a quiet tone under a client name.
class Player {
 public:
  Player(const SoundServer& server, const std::string& clientName,
         const std::vector<std::string>& properties = {}, const std::string& device = "");
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  // paplay drains its buffer for seconds after SIGTERM: it is killed.
  ~Player() { process_->signal(9); }
  pid_t pid() const { return process_->pid(); }

 private:
  std::unique_ptr<Process> process_;
};

// kestruned on a socket of its own, with its own configuration directory.
class Daemon {
 public:
  Daemon(const SoundServer& server, const std::string& directory,
         const std::vector<std::string>& extraEnvironment = {});
  // A daemon whose sound server is not there (yet): `environment` says where
  // it would be.
  Daemon(const std::vector<std::string>& environment, const std::string& directory);
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  const std::string& socketPath() const { return socketPath_; }
  const std::string& configDirectory() const { return configDirectory_; }
  // kestrune with the arguments and --socket.
  Finished kestrune(std::vector<std::string> arguments) const;
  // The standard output of a kestrune command that must succeed.
  std::string ask(std::vector<std::string> arguments) const;
  Process& process() { return *process_; }

 private:
  void start(const std::vector<std::string>& environment);

  std::string directory_;
  std::string socketPath_;
  std::string configDirectory_;
  std::unique_ptr<Process> process_;
};

// A fresh temporary directory, removed when dropped.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ~ScratchDirectory();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The server's indices of a client's streams, from pactl.
std::vector<std::string> streamIndicesOfClient(const SoundServer& server,
                                               const std::string& clientName);
// Which sink the streams of a client play on, by sink name, from pactl.
std::vector<std::string> sinksOfClient(const SoundServer& server, const std::string& clientName);
// Whether every stream of a client is muted, from pactl.
std::optional<bool> clientMuted(const SoundServer& server, const std::string& clientName);
// The volume of each stream of a client, in percent, from pactl.
std::vector<int> clientVolumes(const SoundServer& server, const std::string& clientName);

template <class Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    struct timespec pause {
      0, 10'000'000
    };
    nanosleep(&pause, nullptr);
  }
  return true;
}

}  // namespace kestrune::daemon::testing
