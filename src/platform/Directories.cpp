#include "platform/Directories.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace platform {

namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

#ifndef __APPLE__
// The home field of the user's line in /etc/passwd. A statically linked
// program's lookup through the name-service libraries can fail when those
// libraries are missing or of another version; the file is the database they
// would have read.
std::optional<std::string> homeFromPasswdFile(uid_t uid) {
  const auto file = readFile("/etc/passwd", 64U << 20U);
  if (!file) {
    return std::nullopt;
  }
  const std::string user = std::to_string(uid);
  std::string_view rest = *file;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    // name:password:uid:gid:comment:home:shell
    std::vector<std::string_view> fields;
    for (std::size_t colon = 0; colon != std::string_view::npos;) {
      colon = line.find(':');
      fields.push_back(line.substr(0, colon));
      line.remove_prefix(colon == std::string_view::npos ? line.size() : colon + 1);
    }
    if (fields.size() >= 6 && fields[2] == user && !fields[5].empty()) {
      return std::string(fields[5]);
    }
  }
  return std::nullopt;
}
#endif

#ifndef __APPLE__
}  // namespace
}  // namespace platform

// Referenced weakly: a statically linked program (the command-line tool)
// then does not take in glibc's name-service lookup, which needs the shared
// libraries of the very glibc it was linked with at run time and draws a
// warning at every link; the address is null there and /etc/passwd is read
// instead. A dynamically linked program gets the real function.
extern "C" int getpwuid_r(uid_t, passwd*, char*, std::size_t, passwd**) __attribute__((weak));

namespace platform {
namespace {
#endif

std::optional<std::string> homeFromUserDatabase(uid_t uid) {
#ifndef __APPLE__
  if (&getpwuid_r == nullptr) {
    return std::nullopt;
  }
#endif
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  passwd entry{};
  passwd* found = nullptr;
  int status = 0;
  // The buffer size is only a hint; grow it until the record fits.
  while ((status = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1U << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0 || found == nullptr || entry.pw_dir == nullptr || entry.pw_dir[0] == '\0') {
    return std::nullopt;
  }
  return std::string(entry.pw_dir);
}

}  // namespace

std::optional<std::string> homeDirectory() {
  std::optional<std::string> home = homeFromUserDatabase(getuid());
#ifndef __APPLE__
  if (!home) {
    home = homeFromPasswdFile(getuid());
  }
#endif
  if (!home) {
    return std::nullopt;
  }
  return withoutTrailingSlashes(*home);
}

std::vector<std::string> applicationSupportDirectories() {
#ifdef __APPLE__
  if (auto home = homeDirectory()) {
    return {withoutTrailingSlashes(*home) + "/Library/Application Support"};
  }
  return {};
#else
  // Only an absolute value counts; a relative one is invalid for the
  // base-directory convention and is ignored.
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/') {
    return {withoutTrailingSlashes(dataHome)};
  }
  if (auto home = homeDirectory()) {
    return {(*home == "/" ? std::string() : *home) + "/.local/share"};
  }
  return {};
#endif
}

}  // namespace platform
