#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/FileDescriptor.h"

namespace platform {

namespace {

FileError fileError(const char* action, const std::string& path, int errorNumber) {
  return FileError(std::string(action) + " \"" + path + "\": " + std::strerror(errorNumber));
}

std::string parentDirectory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  if (slash == 0) {
    return "/";
  }
  return path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The process's file-creation mask. Linux reports it without changing it;
// elsewhere reading it means setting it and restoring the old value at once.
mode_t currentUmask() {
  constexpr std::string_view field = "\nUmask:";
  if (const auto status = readFile("/proc/self/status", 64U << 10U)) {
    const auto at = status->find(field);
    if (at != std::string::npos) {
      return static_cast<mode_t>(std::strtoul(status->c_str() + at + field.size(), nullptr, 8));
    }
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The permission bits a newly created file gets, as open(2) would give them.
mode_t defaultFileMode() {
  return static_cast<mode_t>(0666) & ~currentUmask();
}

// ".<name>.XXXXXX": hidden, and a template for mkstemp. Appended piece by
// piece; g++ 12 at -O3 warns falsely (-Wrestrict) on a chain of operator+.
std::string temporaryName(const std::string& destination) {
  std::string name = ".";
  name += lastComponent(destination);
  name += ".XXXXXX";
  return name;
}

// A temporary file beside its destination: closed and removed on every path
// unless it has been renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& destination)
      : destination_(destination),
        path_(appendingPathComponent(parentDirectory(destination), temporaryName(destination))) {
    descriptor_ = ::mkstemp(path_.data());
    if (descriptor_ < 0) {
      const int error = errno;
      path_.clear();
      throw fileError("Could not write", destination_, error);
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (descriptor_ >= 0) {
      // Already failing; the close result cannot change the outcome.
      static_cast<void>(::close(descriptor_));
    }
    if (!path_.empty()) {
      static_cast<void>(::unlink(path_.c_str()));
    }
  }

  void write(const std::string& contents) {
    const auto mode = existingMode().value_or(defaultFileMode());
    if (::fchmod(descriptor_, mode) != 0) {
      fail();
    }
    std::size_t offset = 0;
    while (offset < contents.size()) {
      const ssize_t written =
          ::write(descriptor_, contents.data() + offset, contents.size() - offset);
      if (written < 0) {
        if (errno == EINTR) {
          continue;
        }
        fail();
      }
      offset += static_cast<std::size_t>(written);
    }
    if (::fsync(descriptor_) != 0) {
      fail();
    }
    const int descriptor = std::exchange(descriptor_, -1);
    if (::close(descriptor) != 0) {
      fail();
    }
  }

  void renameIntoPlace() {
    if (::rename(path_.c_str(), destination_.c_str()) != 0) {
      fail();
    }
    path_.clear();
  }

 private:
  // An existing file keeps its permissions when it is replaced.
  std::optional<mode_t> existingMode() const {
    struct stat info {};
    if (::stat(destination_.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      return info.st_mode & 07777;
    }
    return std::nullopt;
  }

  [[noreturn]] void fail() const { throw fileError("Could not write", destination_, errno); }

  std::string destination_;
  std::string path_;
  int descriptor_ = -1;
};

void syncDirectory(const std::string& directory) {
  const int descriptor = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) {
    return;
  }
  // The new file is already in place; flushing the directory entry is a
  // best effort towards durability and its failure is not the write's.
  static_cast<void>(::fsync(descriptor));
  static_cast<void>(::close(descriptor));
}

}  // namespace

bool pathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::optional<std::string> readFile(const std::string& path, std::size_t maxSize) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uintmax_t>(info.st_size) > maxSize) {
    return std::nullopt;
  }
  // Read to the end, not to the size fstat gave: files under /proc report
  // none. A byte more than that size lets the end be seen without growing.
  std::string contents(std::max<std::size_t>(static_cast<std::size_t>(info.st_size) + 1, 4096),
                       '\0');
  std::size_t length = 0;
  for (;;) {
    if (length == contents.size()) {
      if (contents.size() > maxSize) {
        return std::nullopt;
      }
      contents.resize(contents.size() * 2);
    }
    const ssize_t count = ::read(file.get(), contents.data() + length, contents.size() - length);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0) {
      return std::nullopt;
    }
    if (count == 0) {
      break;
    }
    length += static_cast<std::size_t>(count);
  }
  if (length > maxSize) {
    return std::nullopt;
  }
  contents.resize(length);
  return contents;
}

void createDirectories(const std::string& path) {
  if (path.empty()) {
    throw fileError("Could not create the folder", path, ENOENT);
  }
  std::size_t position = 0;
  while (position != std::string::npos) {
    position = path.find('/', position + 1);
    const std::string prefix = withoutTrailingSlashes(path.substr(0, position));
    if (prefix.empty() || prefix == "/" || isDirectory(prefix)) {
      continue;
    }
    if (::mkdir(prefix.c_str(), 0777) != 0) {
      const int error = errno;
      // A directory created meanwhile by someone else is as good as ours.
      if (error == EEXIST && isDirectory(prefix)) {
        continue;
      }
      throw fileError("Could not create the folder", path, error == EEXIST ? ENOTDIR : error);
    }
  }
}

void writeFileAtomically(const std::string& path, const std::string& contents) {
  TemporaryFile temporary(path);
  temporary.write(contents);
  temporary.renameIntoPlace();
  syncDirectory(parentDirectory(path));
}

void removeItem(const std::string& path) {
  if (std::remove(path.c_str()) != 0) {
    throw fileError("Could not remove", path, errno);
  }
}

std::string resolveSymlinks(const std::string& path) {
  if (path.empty()) {
    return path;
  }
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                       &std::free);
  if (resolved) {
    return resolved.get();
  }
  // Resolve the part that exists and keep the missing rest as written.
  std::string trimmed = withoutTrailingSlashes(path);
  const auto slash = trimmed.find_last_of('/');
  if (slash == std::string::npos || trimmed == "/") {
    return trimmed;
  }
  const std::string parent = slash == 0 ? "/" : trimmed.substr(0, slash);
  return appendingPathComponent(resolveSymlinks(parent), trimmed.substr(slash + 1));
}

std::string appendingPathComponent(const std::string& base, const std::string& component) {
  const auto start = component.find_first_not_of('/');
  std::string tail = start == std::string::npos ? std::string() : component.substr(start);
  if (base.empty()) {
    return tail;
  }
  std::string joined = withoutTrailingSlashes(base);
  if (tail.empty()) {
    return joined;
  }
  if (joined.back() != '/') {
    joined += '/';
  }
  return joined + tail;
}

}  // namespace platform
