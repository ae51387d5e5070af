#pragma once
// Programs the tests start, wait for and stop: spawned with arguments and
// extra environment, their output in files, stopped by process id.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kestrune::test_process {

struct Command {
  std::string program;  // looked up on PATH unless it names a path
  std::vector<std::string> arguments;
  // "NAME=value" entries added to this process's environment, or replacing.
  std::vector<std::string> environment;
  std::string outPath = "/dev/null";
  std::string errPath = "/dev/null";
  int outDescriptor = -1;    // standard output here instead of outPath
  bool appendErrors = true;  // errPath appended to rather than truncated
};

// The process id; throws std::runtime_error when the program cannot start.
pid_t spawn(const Command& command);

// The exit status (128 + signal for a killed process) once the process has
// ended, waiting at most `limit`; nothing while it still runs.
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds limit);

// The exit status once the process ends within `limit`; -1 after killing
// it (SIGKILL) otherwise.
int waitOrKill(pid_t pid, std::chrono::milliseconds limit);

// SIGTERM, then SIGKILL when it has not ended within `grace`; reaped either
// way. The exit status, or -1 when it had to be killed.
int stop(pid_t pid, std::chrono::milliseconds grace);

// Whether the process has not ended (reaping it if it has).
bool running(pid_t pid);

// A file's whole text; empty when it cannot be read.
std::string readFile(const std::string& path);

// Waits until the condition holds, checking every `pause`; whether it did.
template <class Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds pause = std::chrono::milliseconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(pause);
  }
  return true;
}

}  // namespace kestrune::test_process
