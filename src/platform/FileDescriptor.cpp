#include "platform/FileDescriptor.h"

#include <unistd.h>

namespace platform {

void FileDescriptor::reset(int descriptor) {
  const int old = std::exchange(descriptor_, descriptor);
  if (old >= 0) {
    // Linux closes the descriptor even when close reports EINTR, so a retry
    // could close someone else's; the result is deliberately not acted on.
    static_cast<void>(::close(old));
  }
}

}  // namespace platform
