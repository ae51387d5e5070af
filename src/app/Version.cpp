#include "app/Version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Files.h"
#include "platform/PropertyList.h"

namespace kestrune {
namespace {

constexpr const char* kUnknown = "unknown";

std::string lastComponent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return std::string();
  }
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::optional<std::string> currentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      return std::nullopt;
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

// A relative program path is taken relative to the current directory.
std::optional<std::string> absolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') {
    return path;
  }
  const auto cwd = currentDirectory();
  if (!cwd) {
    return std::nullopt;
  }
  return platform::appendingPathComponent(*cwd, path);
}

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// A program name without a slash is what a shell passes after finding the
// program on PATH: found again the same way, the first executable file in
// the PATH directories (an empty entry is the current directory).
std::optional<std::string> searchedOnPath(const std::string& name) {
  const char* variable = std::getenv("PATH");
  // The search path execvp uses when PATH is unset.
  std::string_view rest = variable != nullptr ? variable : "/bin:/usr/bin";
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string directory(rest.substr(0, colon));
    const std::string candidate =
        platform::appendingPathComponent(directory.empty() ? "." : directory, name);
    if (isExecutableFile(candidate)) {
      return candidate;
    }
    if (colon == std::string_view::npos) {
      return std::nullopt;
    }
    rest.remove_prefix(colon + 1);
  }
}

// The first process argument, as the kernel recorded it for this process.
// Read with plain descriptors: the stream library is not otherwise needed.
std::optional<std::string> firstProcessArgument() {
  const platform::FileDescriptor cmdline(::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC));
  if (!cmdline) {
    return std::nullopt;
  }
  std::string first;
  char chunk[256];
  while (first.find('\0') == std::string::npos) {
    const ssize_t count = ::read(cmdline.get(), chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      break;
    }
    first.append(chunk, static_cast<std::size_t>(count));
  }
  first.resize(std::min(first.find('\0'), first.size()));
  if (first.empty()) {
    return std::nullopt;
  }
  return first;
}

}  // namespace

std::string versionStringFor(const std::optional<std::string>& programPath) {
  if (!programPath || programPath->empty()) {
    return kUnknown;
  }
  const auto found =
      programPath->find('/') == std::string::npos ? searchedOnPath(*programPath) : programPath;
  if (!found) {
    return kUnknown;
  }
  const auto absolute = absolutePath(*found);
  if (!absolute) {
    return kUnknown;
  }
  const std::string directory = parentPath(platform::resolveSymlinks(*absolute));
  const std::string contents = parentPath(directory);
  if (lastComponent(directory) != "Helpers" || lastComponent(contents) != "Contents") {
    return kUnknown;
  }
  const auto info = platform::readPropertyListDictionary(
      platform::appendingPathComponent(contents, "Info.plist"));
  if (!info) {
    return kUnknown;
  }
  return info->string("CFBundleShortVersionString").value_or(kUnknown);
}

std::string versionString() {
  static const std::string version = versionStringFor(firstProcessArgument());
  return version;
}

}  // namespace kestrune
