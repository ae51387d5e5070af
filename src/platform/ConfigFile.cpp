#include "platform/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/FileDescriptor.h"

namespace platform {

namespace {

std::int64_t nanoseconds(const struct timespec& time) {
  constexpr std::int64_t perSecond = 1'000'000'000;
  return static_cast<std::int64_t>(time.tv_sec) * perSecond + time.tv_nsec;
}

FileVersion versionFrom(const struct stat& info) {
  return FileVersion{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(info.st_ino),
                     static_cast<std::int64_t>(info.st_size), nanoseconds(info.st_mtim),
                     nanoseconds(info.st_ctim)};
}

std::string reasonFor(ConfigReadError::Kind kind, int errorNumber) {
  switch (kind) {
    case ConfigReadError::Kind::notRegular:
      return "not a regular file";
    case ConfigReadError::Kind::tooLarge:
      return "too large (more than 1 MiB)";
    case ConfigReadError::Kind::unreadable:
      break;
  }
  return std::string("cannot be read: ") + std::strerror(errorNumber);
}

}  // namespace

ConfigReadError::ConfigReadError(Kind kind, const std::string& path, int errorNumber)
    : kind_(kind),
      path_(path),
      reason_(reasonFor(kind, errorNumber)),
      description_(path + ": " + reason_) {}

std::optional<FileVersion> versionOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return std::nullopt;
  }
  return versionFrom(info);
}

std::optional<ConfigText> readConfigText(const std::string& path, std::size_t maxSize) {
  // Non-blocking: opening a FIFO for reading would otherwise wait for a
  // writer. A regular file reads the same either way.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file) {
    const int error = errno;
    struct stat link {};
    if (error == ENOENT && ::lstat(path.c_str(), &link) != 0) {
      return std::nullopt;
    }
    throw ConfigReadError(ConfigReadError::Kind::unreadable, path, error);
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) {
    throw ConfigReadError(ConfigReadError::Kind::unreadable, path, errno);
  }
  if (!S_ISREG(info.st_mode)) {
    throw ConfigReadError(ConfigReadError::Kind::notRegular, path);
  }
  if (static_cast<std::uintmax_t>(info.st_size) > maxSize) {
    throw ConfigReadError(ConfigReadError::Kind::tooLarge, path);
  }
  ConfigText result{std::string(static_cast<std::size_t>(info.st_size) + 1, '\0'),
                    versionFrom(info)};
  // One byte more than its size shows whether it grew meanwhile.
  std::size_t length = 0;
  for (;;) {
    if (length == result.text.size()) {
      if (length > maxSize) {
        throw ConfigReadError(ConfigReadError::Kind::tooLarge, path);
      }
      result.text.resize(std::min(length * 2, maxSize + 1));
    }
    const ssize_t count =
        ::read(file.get(), result.text.data() + length, result.text.size() - length);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0) {
      throw ConfigReadError(ConfigReadError::Kind::unreadable, path, errno);
    }
    if (count == 0) {
      break;
    }
    length += static_cast<std::size_t>(count);
  }
  if (length > maxSize) {
    throw ConfigReadError(ConfigReadError::Kind::tooLarge, path);
  }
  result.text.resize(length);
  return result;
}

}  // namespace platform
