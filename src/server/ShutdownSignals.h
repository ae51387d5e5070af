#pragma once

#include <csignal>

#include "platform/FileDescriptor.h"

namespace kestrune::server {

// While it lives, SIGINT and SIGTERM make its descriptor readable instead of
// ending the process (the self-pipe pattern), so the server can stop and
// remove its socket; SIGPIPE is ignored. The previous dispositions come back
// when it is dropped. One instance per process.
class ShutdownSignals {
 public:
  ShutdownSignals();
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;
  ~ShutdownSignals();

  int descriptor() const noexcept { return readEnd_.get(); }

 private:
  platform::FileDescriptor readEnd_;
  platform::FileDescriptor writeEnd_;
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
  struct sigaction previousBrokenPipe_ {};
};

}  // namespace kestrune::server
