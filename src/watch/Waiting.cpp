#include "watch/Waiting.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace kestrune::watch {

namespace {

constexpr std::uint32_t appearing = IN_CREATE | IN_MOVED_TO;

}  // namespace

SocketAppearance::SocketAppearance(const std::string& socketPath)
    : inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  const auto slash = socketPath.find_last_of('/');
  if (slash == std::string::npos) {
    directory_ = ".";
    name_ = socketPath;
  } else {
    directory_ = slash == 0 ? "/" : socketPath.substr(0, slash);
    name_ = socketPath.substr(slash + 1);
  }
}

void SocketAppearance::arm() {
  if (watching_ || !inotify_) {
    return;
  }
  // Fails while the directory is missing; tried again at the next attempt.
  watching_ = ::inotify_add_watch(inotify_.get(), directory_.c_str(), appearing) >= 0;
}

bool SocketAppearance::appeared() {
  // Room for many notices; each is a header and a name padded to alignment.
  alignas(inotify_event) std::array<char, 16384> buffer{};
  bool found = false;
  while (true) {
    const ssize_t length = ::read(inotify_.get(), buffer.data(), buffer.size());
    if (length < 0 && errno == EINTR) {
      continue;
    }
    if (length <= 0) {
      return found;  // EAGAIN: all read
    }
    std::size_t offset = 0;
    while (offset + sizeof(inotify_event) <= static_cast<std::size_t>(length)) {
      inotify_event header{};
      std::memcpy(&header, buffer.data() + offset, sizeof header);
      const char* name = buffer.data() + offset + sizeof header;
      if ((header.mask & IN_IGNORED) != 0) {
        watching_ = false;  // the directory went away; watched again once it is back
      } else if ((header.mask & appearing) != 0 && header.len > 0 && name_ == name) {
        found = true;
      }
      offset += sizeof header + header.len;
    }
  }
}

}  // namespace kestrune::watch
