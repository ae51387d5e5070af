#pragma once
// Thin POSIX helpers shared by the server's sockets.

#include <cstddef>

#include "platform/FileDescriptor.h"

namespace kestrune::server {

// A Unix-domain stream socket, close-on-exec and non-blocking; invalid on
// failure (errno set).
platform::FileDescriptor openLocalStreamSocket();

// Makes a descriptor non-blocking and close-on-exec; false on failure.
bool makeNonBlocking(int fd);

// Makes an accepted descriptor close-on-exec and non-blocking; false on failure.
bool prepareAccepted(int fd);

// send() that never raises SIGPIPE on a connection the peer has closed.
long sendWithoutSignal(int fd, const void* data, std::size_t size);

}  // namespace kestrune::server
