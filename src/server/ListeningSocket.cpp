#include "server/ListeningSocket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "server/ServerError.h"
#include "server/Sockets.h"

namespace kestrune::server {

namespace {

// Room for a burst of clients that wait while the server is at its limit;
// the system caps it at its own maximum (net.core.somaxconn).
constexpr int listenBacklog = 4096;

std::string systemText(int error) {
  return std::strerror(error);
}

ServerError setupError(const std::string& what, int error) {
  return ServerError(ServerError::Kind::socketSetup, what + ": " + systemText(error));
}

sockaddr_un addressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

bool fitsInAddress(const std::string& path) {
  return path.size() <= maxSocketPathLength();
}

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Like mkdir -p, but every directory it creates is private to the user.
void createParentDirectories(const std::string& path) {
  const std::string parent = parentOf(path);
  for (std::size_t end = parent.find('/', 1);; end = parent.find('/', end + 1)) {
    const std::string prefix = parent.substr(0, end);
    if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
      throw setupError("Could not create the directory \"" + prefix + "\"", errno);
    }
    if (end == std::string::npos) {
      return;
    }
  }
}

ServerError untrusted(const std::string& directory, const std::string& why) {
  return ServerError(ServerError::Kind::socketSetup,
                     "Refusing the socket directory \"" + directory + "\": " + why +
                         ", so another user could replace the socket; use a directory of your "
                         "own that only you can write to.");
}

// Root may change anything anyway; trusting it costs nothing.
bool trustedOwner(uid_t owner) {
  return owner == ::geteuid() || owner == 0;
}

std::string octal(mode_t mode) {
  static constexpr std::string_view digits = "01234567";
  std::string text;
  for (int shift = 9; shift >= 0; shift -= 3) {
    text += digits[(mode >> static_cast<unsigned>(shift)) & 07U];
  }
  return text;
}

// Root's sticky directories (/tmp, where the socket goes without a home):
// others may add files but not remove or rename ours, and what another user
// planted at the socket's path is refused when it is probed.
bool sharedTemporary(const struct stat& directory) {
  return (directory.st_mode & S_ISVTX) != 0 && directory.st_uid == 0;
}

// Whoever may write to the socket's directory may replace the socket, or
// listen there first: the directory must be the user's and writable by
// nobody else, and a symbolic link to it must be the user's too.
void requireTrustedDirectory(const std::string& directory) {
  struct stat link {};
  if (::lstat(directory.c_str(), &link) != 0) {
    throw setupError("Could not inspect the directory \"" + directory + "\"", errno);
  }
  if (S_ISLNK(link.st_mode) && !trustedOwner(link.st_uid)) {
    throw untrusted(directory, "it is a symbolic link owned by another user");
  }
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) {
    throw setupError("Could not inspect the directory \"" + directory + "\"", errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    throw ServerError(
        ServerError::Kind::socketSetup,
        "\"" + directory + "\" is not a directory; choose another path with --socket.");
  }
  if (!trustedOwner(info.st_uid)) {
    throw untrusted(directory, "it is owned by another user");
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !sharedTemporary(info)) {
    throw untrusted(directory,
                    "it is writable by others than its owner (mode " + octal(info.st_mode) + ")");
  }
}

enum class Occupant { nothing, staleSocket, liveServer };

// What is at the path now: nothing, a socket file nobody listens on, or a
// server that accepts connections.
Occupant probe(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) {
      return Occupant::nothing;
    }
    throw setupError("Could not inspect \"" + path + "\"", errno);
  }
  if (!trustedOwner(info.st_uid)) {
    throw ServerError(ServerError::Kind::socketSetup,
                      "Refusing \"" + path +
                          "\": it belongs to another user, who could answer in its place; "
                          "choose another path with --socket.");
  }
  if (!S_ISSOCK(info.st_mode)) {
    throw ServerError(ServerError::Kind::socketSetup,
                      "\"" + path +
                          "\" exists and is not a socket; remove it or choose another path "
                          "with --socket.");
  }
  platform::FileDescriptor probeSocket = openLocalStreamSocket();
  if (!probeSocket) {
    throw setupError("Could not create a socket", errno);
  }
  const sockaddr_un address = addressOf(path);
  if (::connect(probeSocket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
      0) {
    return Occupant::liveServer;
  }
  switch (errno) {
    case EAGAIN:  // a full backlog still means someone listens
    case EINPROGRESS:
      return Occupant::liveServer;
    case ECONNREFUSED:
      return Occupant::staleSocket;
    case ENOENT:
      return Occupant::nothing;
    default:
      throw setupError("Could not check \"" + path + "\"", errno);
  }
}

ServerError alreadyRunning(const std::string& path) {
  return ServerError(ServerError::Kind::alreadyRunning,
                     "Another server is already answering on \"" + path + "\".");
}

void clearStaleOccupant(const std::string& path) {
  switch (probe(path)) {
    case Occupant::nothing:
      return;
    case Occupant::liveServer:
      throw alreadyRunning(path);
    case Occupant::staleSocket:
      if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        throw setupError("Could not remove the stale socket \"" + path + "\"", errno);
      }
      return;
  }
}

// Binds with permissions 0600 from the start: the mask is set around bind,
// which creates the file.
void bindPrivately(int fd, const std::string& path) {
  const sockaddr_un address = addressOf(path);
  const mode_t oldMask = ::umask(0177);
  const int result = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int error = errno;
  ::umask(oldMask);
  if (result != 0) {
    if (error == EADDRINUSE) {
      throw alreadyRunning(path);
    }
    throw setupError("Could not bind the socket \"" + path + "\"", error);
  }
}

// A name beside the final path where the socket is bound and starts
// listening before it is moved into place.
std::string preparationPath(const std::string& path) {
  return parentOf(path) + "/.kestrune-staging-" + std::to_string(::getpid()) + ".sock";
}

// Puts the listening socket's file at the path without replacing anything
// that appeared there meanwhile.
void moveIntoPlace(const std::string& from, const std::string& path) {
  if (::link(from.c_str(), path.c_str()) == 0) {
    static_cast<void>(::unlink(from.c_str()));
    return;
  }
  const int error = errno;
  if (error == EEXIST) {
    static_cast<void>(::unlink(from.c_str()));
    throw alreadyRunning(path);
  }
  // File systems without hard links: renaming is nearly as good.
  if (::rename(from.c_str(), path.c_str()) != 0) {
    const int renameError = errno;
    static_cast<void>(::unlink(from.c_str()));
    throw setupError("Could not create the socket \"" + path + "\"", renameError);
  }
}

}  // namespace

std::size_t maxSocketPathLength() {
  return sizeof(sockaddr_un::sun_path) - 1;
}

ListeningSocket::ListeningSocket(std::string path) : path_(std::move(path)) {
  if (path_.empty()) {
    throw ServerError(ServerError::Kind::socketSetup, "The socket path is empty.");
  }
  if (!fitsInAddress(path_)) {
    throw ServerError(ServerError::Kind::socketSetup,
                      "The socket path is too long (" + std::to_string(path_.size()) +
                          " bytes; at most " + std::to_string(maxSocketPathLength()) +
                          "): " + path_);
  }
  createParentDirectories(path_);
  requireTrustedDirectory(parentOf(path_));
  clearStaleOccupant(path_);

  fd_ = openLocalStreamSocket();
  if (!fd_) {
    throw setupError("Could not create a socket", errno);
  }
  const std::string staging = preparationPath(path_);
  const bool staged = fitsInAddress(staging);
  if (staged) {
    static_cast<void>(::unlink(staging.c_str()));
  }
  bindPrivately(fd_.get(), staged ? staging : path_);
  if (::listen(fd_.get(), listenBacklog) != 0) {
    const int error = errno;
    static_cast<void>(::unlink((staged ? staging : path_).c_str()));
    throw setupError("Could not listen on \"" + path_ + "\"", error);
  }
  if (staged) {
    moveIntoPlace(staging, path_);
  }
  struct stat info {};
  if (::lstat(path_.c_str(), &info) == 0) {
    device_ = info.st_dev;
    inode_ = info.st_ino;
  }
}

ListeningSocket::~ListeningSocket() {
  // Only our own file: a server that replaced it keeps its socket.
  struct stat info {};
  if (::lstat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_) {
    static_cast<void>(::unlink(path_.c_str()));
  }
}

}  // namespace kestrune::server
