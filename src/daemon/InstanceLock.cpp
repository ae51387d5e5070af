#include "daemon/InstanceLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <utility>

#include "platform/Files.h"
#include "server/ServerError.h"

namespace kestrune::daemon {

namespace {

constexpr const char* lockFileName = "kestruned.lock";
constexpr std::size_t maxLockFileSize = 8192;

std::string lockFilePath(const std::string& directory) {
  return platform::appendingPathComponent(directory, lockFileName);
}

// Open-file-description locks: closing another descriptor of the same file
// (when this process reads a lock file, its own included) keeps them.
struct flock wholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

bool isLocked(int descriptor) {
  struct flock lock = wholeFile(F_WRLCK);
  return ::fcntl(descriptor, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// "<pid>\n<socket>\n", as the holder wrote it.
std::optional<LockHolder> parseHolder(const std::string& text) {
  const auto newline = text.find('\n');
  if (newline == std::string::npos || newline == 0) {
    return std::nullopt;
  }
  LockHolder holder;
  for (const char c : text.substr(0, newline)) {
    if (c < '0' || c > '9' || holder.process > 10'000'000) {
      return std::nullopt;
    }
    holder.process = holder.process * 10 + (c - '0');
  }
  std::string socket = text.substr(newline + 1);
  if (!socket.empty() && socket.back() == '\n') {
    socket.pop_back();
  }
  holder.socketPath = std::move(socket);
  return holder;
}

// The holder writes its name just after it takes the lock: a reader in
// between waits for it a little.
std::optional<LockHolder> readHolder(const std::string& path) {
  using namespace std::chrono_literals;
  const auto deadline = std::chrono::steady_clock::now() + 200ms;
  while (true) {
    const auto text = platform::readFile(path, maxLockFileSize);
    if (auto holder = text ? parseHolder(*text) : std::nullopt) {
      return holder;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(5ms);
  }
}

std::string heldMessage(const std::string& directory, const std::optional<LockHolder>& holder) {
  const std::string who =
      holder ? "process " + std::to_string(holder->process) + ", socket " + holder->socketPath
             : "process unknown";
  return "Another kestruned (" + who + ") already uses \"" + directory +
         "\"; stop it, or give this one another --config.";
}

void writeAll(int descriptor, const std::string& text, const std::string& path) {
  if (::ftruncate(descriptor, 0) != 0) {
    throw platform::FileError("Could not write \"" + path + "\": " + std::strerror(errno));
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::pwrite(descriptor, text.data() + written, text.size() - written,
                               static_cast<off_t>(written));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      throw platform::FileError("Could not write \"" + path + "\": " + std::strerror(errno));
    }
    written += static_cast<std::size_t>(n);
  }
}

// The lock of one directory, or nothing when no lock file can be made there.
platform::FileDescriptor lockDirectory(const std::string& directory, const std::string& socketPath,
                                       const InstanceLock::Log& log) {
  const std::string path = lockFilePath(directory);
  platform::FileDescriptor file;
  try {
    platform::createDirectories(directory);
    file.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file) {
      throw platform::FileError("Could not open \"" + path + "\": " + std::strerror(errno));
    }
  } catch (const platform::FileError& error) {
    log(std::string("not locking the directory against a second daemon: ") + error.what());
    return {};
  }
  struct flock lock = wholeFile(F_WRLCK);
  if (::fcntl(file.get(), F_OFD_SETLK, &lock) != 0) {
    if (errno == EAGAIN || errno == EACCES) {
      throw server::ServerError(server::ServerError::Kind::alreadyRunning,
                                heldMessage(directory, readHolder(path)));
    }
    log("not locking the directory against a second daemon: could not lock \"" + path +
        "\": " + std::strerror(errno));
    return {};
  }
  try {
    writeAll(file.get(), std::to_string(::getpid()) + "\n" + socketPath + "\n", path);
  } catch (const platform::FileError& error) {
    log(error.what());  // still locked; a second daemon is told less
  }
  return file;
}

// The same file reached by two paths is locked once (a second lock of ours
// on it would conflict with the first).
bool sameFileAsOneOf(const platform::FileDescriptor& file,
                     const std::vector<platform::FileDescriptor>& files) {
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) {
    return false;
  }
  for (const auto& other : files) {
    struct stat otherStatus {};
    if (::fstat(other.get(), &otherStatus) == 0 && otherStatus.st_dev == status.st_dev &&
        otherStatus.st_ino == status.st_ino) {
      return true;
    }
  }
  return false;
}

}  // namespace

InstanceLock::InstanceLock(const std::vector<std::string>& directories,
                           const std::string& socketPath, const Log& log) {
  std::set<std::string> seen;
  for (const std::string& directory : directories) {
    if (!seen.insert(platform::resolveSymlinks(directory)).second) {
      continue;
    }
    const std::string path = lockFilePath(directory);
    if (platform::pathExists(path)) {
      const platform::FileDescriptor existing(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
      if (existing && sameFileAsOneOf(existing, files_)) {
        continue;
      }
    }
    if (auto file = lockDirectory(directory, socketPath, log)) {
      files_.push_back(std::move(file));
    }
  }
}

std::optional<LockHolder> lockHolder(const std::string& directory) {
  const std::string path = lockFilePath(directory);
  const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!file || !isLocked(file.get())) {
    return std::nullopt;
  }
  return readHolder(path);
}

}  // namespace kestrune::daemon
