#include "server/WakePipe.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "server/ServerError.h"
#include "server/Sockets.h"

namespace kestrune::server {

WakePipe::WakePipe() {
  std::array<int, 2> ends{};
  if (::pipe(ends.data()) != 0) {
    throw ServerError(ServerError::Kind::socketSetup,
                      std::string("Could not create a pipe: ") + std::strerror(errno));
  }
  readEnd_ = platform::FileDescriptor(ends[0]);
  writeEnd_ = platform::FileDescriptor(ends[1]);
  if (!makeNonBlocking(readEnd_.get()) || !makeNonBlocking(writeEnd_.get())) {
    throw ServerError(ServerError::Kind::socketSetup,
                      std::string("Could not set up a pipe: ") + std::strerror(errno));
  }
}

void WakePipe::wake() {
  const std::lock_guard lock(mutex_);
  if (!woken_) {
    const char byte = 0;
    // A full pipe already wakes the loop; nothing else can go wrong here.
    woken_ = ::write(writeEnd_.get(), &byte, 1) == 1 || errno == EAGAIN;
  }
}

void WakePipe::drain() {
  const std::lock_guard lock(mutex_);
  if (woken_) {
    std::array<char, 64> sink{};
    while (::read(readEnd_.get(), sink.data(), sink.size()) > 0) {
    }
    woken_ = false;
  }
}

}  // namespace kestrune::server
