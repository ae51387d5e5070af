#pragma once

#include <sys/types.h>

#include <string>

#include "platform/FileDescriptor.h"

namespace kestrune::server {

// The server's Unix-domain socket at a path. Setting it up creates missing
// parent directories (mode 0700), refuses a directory that another user
// owns or may write to, refuses when another instance answers at
// the path or the path holds something other than a socket, replaces a stale
// socket file, and makes the socket file (mode 0600) appear only once it
// accepts connections, so that waiting for the file is waiting for the
// server. Dropping it removes the file, unless another server has replaced it.
class ListeningSocket {
 public:
  // Throws ServerError (alreadyRunning or socketSetup).
  explicit ListeningSocket(std::string path);
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;
  ~ListeningSocket();

  // Non-blocking, close-on-exec.
  int descriptor() const noexcept { return fd_.get(); }
  const std::string& path() const noexcept { return path_; }

 private:
  std::string path_;
  platform::FileDescriptor fd_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

// The longest socket path the platform accepts, in bytes.
std::size_t maxSocketPathLength();

}  // namespace kestrune::server
