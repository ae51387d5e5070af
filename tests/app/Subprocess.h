#pragma once
// Running the built programs from tests: one command with captured output,
// and the simulated application as a background server.

#include <string>
#include <vector>

#include <sys/types.h>

#include "TempDirectory.h"

namespace kestrune::testing {

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128 + signal
};

// Runs the program with the arguments and the environment of this process
// plus `environment` ("NAME=value" entries override), with standard input
// closed. Kills the program after `timeoutSeconds`.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {}, int timeoutSeconds = 30);

// kestrune-sim listening on a fresh socket in a temporary directory, stopped
// and cleaned up on destruction; started from `state` (the text of a state
// file) when one is given.
class SimServer {
 public:
  explicit SimServer(const std::string& state = {});
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  const std::string& socketPath() const { return socketPath_; }

 private:
  TempDirectory directory_;
  std::string socketPath_;
  pid_t pid_ = -1;
};

}  // namespace kestrune::testing
