#include "server/Sockets.h"

#include <fcntl.h>
#include <sys/socket.h>

namespace kestrune::server {

bool makeNonBlocking(int fd) {
  const int statusFlags = ::fcntl(fd, F_GETFL);
  const int descriptorFlags = ::fcntl(fd, F_GETFD);
  return statusFlags >= 0 && descriptorFlags >= 0 &&
         ::fcntl(fd, F_SETFL, statusFlags | O_NONBLOCK) == 0 &&
         ::fcntl(fd, F_SETFD, descriptorFlags | FD_CLOEXEC) == 0;
}

platform::FileDescriptor openLocalStreamSocket() {
  platform::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM, 0));
  if (fd && !makeNonBlocking(fd.get())) {
    fd.reset();
  }
  return fd;
}

bool prepareAccepted(int fd) {
#ifdef SO_NOSIGPIPE
  const int on = 1;
  static_cast<void>(::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on));
#endif
  return makeNonBlocking(fd);
}

long sendWithoutSignal(int fd, const void* data, std::size_t size) {
#ifdef MSG_NOSIGNAL
  return ::send(fd, data, size, MSG_NOSIGNAL);
#else
  return ::send(fd, data, size, 0);
#endif
}

}  // namespace kestrune::server
