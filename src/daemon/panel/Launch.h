#pragma once
// Starting the panel as a program of the user's session rather than a child
// of the daemon: detached (its own session, stdin from /dev/null), never
// waited for, and never left behind as a zombie.

#include <optional>
#include <string>
#include <vector>

namespace kestrune::daemon::panel {

// Why a program could not be started.
struct LaunchFailure {
  enum class Step { openNullDevice, makePipe, fork, execute };
  Step step;
  int error;  // errno
  std::string describe() const;
};

// The program named `name` beside `self` (the daemon's own file), else the
// first executable one on `searchPath` (a PATH value); nothing when neither.
std::optional<std::string> findBesideOrOnPath(const std::string& name, const std::string& self,
                                              const std::string& searchPath);

// This process's own executable, from /proc/self/exe; empty when unknown.
std::string ownExecutable();

// Runs `program` with `arguments` and this process's environment, detached
// by a double fork. Returns once the program has been executed (or failed
// to be).
std::optional<LaunchFailure> launchDetached(const std::string& program,
                                            const std::vector<std::string>& arguments);

}  // namespace kestrune::daemon::panel
