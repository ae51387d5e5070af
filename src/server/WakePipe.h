#pragma once
// Wakes a poll loop from any thread: a byte on a non-blocking pipe, written
// at most once until the loop takes it.

#include <mutex>

#include "platform/FileDescriptor.h"

namespace kestrune::server {

class WakePipe {
 public:
  // Throws ServerError when the pipe cannot be made.
  WakePipe();

  // Polled for POLLIN by the loop.
  int descriptor() const noexcept { return readEnd_.get(); }

  // Callers hold their own lock around what the wake-up announces; the
  // flag is theirs to keep consistent with it.
  void wake();
  void drain();

 private:
  platform::FileDescriptor readEnd_;
  platform::FileDescriptor writeEnd_;
  std::mutex mutex_;
  bool woken_ = false;
};

}  // namespace kestrune::server
