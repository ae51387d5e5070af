#pragma once
// What kestrune-watch waits on besides the feed and the signals that end it
// (platform/StopSignals): a standard output whose reader went away, and the
// socket file appearing.

#include <poll.h>

#include <exception>
#include <string>

#include "platform/FileDescriptor.h"

namespace kestrune::watch {

// What ends kestrune-watch with status 1: a wait that fails, or an output
// it cannot write to.
class WatchError : public std::exception {
 public:
  explicit WatchError(std::string description) : description_(std::move(description)) {}
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::string description_;
};

// Tells when a socket file may have appeared, without polling the disk:
// inotify on its directory for the name being created or moved there. While
// the directory does not exist (or inotify is not there) it tells nothing,
// and the caller's slow retry covers it.
class SocketAppearance {
 public:
  explicit SocketAppearance(const std::string& socketPath);

  // Watches the directory if it exists and is not watched yet. Called
  // before each attempt to connect, so an appearance right after a failed
  // attempt is not missed.
  void arm();
  // Polled for POLLIN; -1 while nothing is watched.
  int descriptor() const noexcept { return watching_ ? inotify_.get() : -1; }
  // Reads the pending notices: whether the socket's name was among them.
  bool appeared();

 private:
  std::string directory_;
  std::string name_;
  platform::FileDescriptor inotify_;
  bool watching_ = false;
};

// The reading end of standard output went away (a bar that exited): poll
// with no events asked reports POLLERR or POLLHUP for a pipe whose reader
// closed, and POLLNVAL for a closed descriptor.
inline bool outputClosed(const pollfd& output) {
  return (output.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

}  // namespace kestrune::watch
