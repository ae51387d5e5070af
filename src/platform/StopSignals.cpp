#include "platform/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

namespace {

// The one value a signal handler can reach: where to write the wake-up byte.
std::atomic<int> signalWriteEnd{-1};

extern "C" void wakeOnSignal(int /*signal*/) {
  const int savedErrno = errno;
  const int fd = signalWriteEnd.load();
  if (fd >= 0) {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing more to do.
    static_cast<void>(::write(fd, &byte, 1));
  }
  errno = savedErrno;
}

void install(int signal, void (*handler)(int), struct sigaction& previous) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  if (::sigaction(signal, &action, &previous) != 0) {
    throw StopSignalsError(std::string("Could not install a signal handler: ") +
                           std::strerror(errno));
  }
}

}  // namespace

StopSignals::StopSignals() {
  std::array<int, 2> ends{};
  if (::pipe2(ends.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
    throw StopSignalsError(std::string("Could not create a pipe: ") + std::strerror(errno));
  }
  readEnd_.reset(ends[0]);
  writeEnd_.reset(ends[1]);
  signalWriteEnd.store(writeEnd_.get());
  install(SIGINT, wakeOnSignal, previousInterrupt_);
  install(SIGTERM, wakeOnSignal, previousTerminate_);
  install(SIGPIPE, SIG_IGN, previousBrokenPipe_);
}

StopSignals::~StopSignals() {
  static_cast<void>(::sigaction(SIGINT, &previousInterrupt_, nullptr));
  static_cast<void>(::sigaction(SIGTERM, &previousTerminate_, nullptr));
  static_cast<void>(::sigaction(SIGPIPE, &previousBrokenPipe_, nullptr));
  signalWriteEnd.store(-1);
}

}  // namespace platform
