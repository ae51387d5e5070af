#pragma once
// One daemon per configuration and state directory: while it runs, each
// daemon holds a lock on kestruned.lock in both, and the file names its
// process and socket. The lock belongs to the open file, so it goes with
// the process: one left by a daemon that died blocks nobody.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileDescriptor.h"

namespace kestrune::daemon {

// Who holds a directory's lock.
struct LockHolder {
  pid_t process = 0;
  std::string socketPath;
};

class InstanceLock {
 public:
  using Log = std::function<void(const std::string&)>;

  // Locks each directory (created when missing) for this process, naming
  // `socketPath`. Throws server::ServerError (alreadyRunning) naming the
  // holder when another daemon has one of them; a directory where no lock
  // file can be made is left unlocked, and the reason logged.
  InstanceLock(const std::vector<std::string>& directories, const std::string& socketPath,
               const Log& log);

 private:
  std::vector<platform::FileDescriptor> files_;
};

// The live daemon holding the lock in `directory` (this one included),
// nothing when none does.
std::optional<LockHolder> lockHolder(const std::string& directory);

}  // namespace kestrune::daemon
