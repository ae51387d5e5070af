#pragma once
// How a program that waits in poll learns that it is asked to stop.

#include <csignal>
#include <stdexcept>

#include "platform/FileDescriptor.h"

namespace platform {

// The wake-up pipe or a signal handler could not be set up; what() says
// which, with the system's reason.
class StopSignalsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// While it lives, SIGINT and SIGTERM make its descriptor readable instead of
// ending the process (the self-pipe pattern), so the program can finish
// what it holds; SIGPIPE is ignored, so a write to a closed pipe or socket
// fails with EPIPE. The previous dispositions come back when it is dropped.
// One instance per process.
class StopSignals {
 public:
  StopSignals();  // throws StopSignalsError
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  ~StopSignals();

  // Polled for POLLIN.
  int descriptor() const noexcept { return readEnd_.get(); }

 private:
  FileDescriptor readEnd_;
  FileDescriptor writeEnd_;
  struct sigaction previousInterrupt_ {};
  struct sigaction previousTerminate_ {};
  struct sigaction previousBrokenPipe_ {};
};

}  // namespace platform
