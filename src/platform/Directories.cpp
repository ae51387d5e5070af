#include "platform/Directories.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

}  // namespace

std::optional<std::string> homeDirectory() {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  passwd entry{};
  passwd* found = nullptr;
  int status = 0;
  // The buffer size is only a hint; grow it until the record fits.
  while ((status = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1U << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0 || found == nullptr || entry.pw_dir == nullptr || entry.pw_dir[0] == '\0') {
    return std::nullopt;
  }
  return withoutTrailingSlashes(entry.pw_dir);
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
