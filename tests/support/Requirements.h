#pragma once
// What a test needs from the machine besides our own programs: the programs
// and python modules it runs, each with the Debian package that installs it
// (the same names as scripts/packages.sh). A test whose tools are missing is
// skipped, naming the packages to install; it fails only for faults.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct Requirement {
  // A path, a program name looked up on PATH, or "python3:<module>" for a
  // module of Debian's /usr/bin/python3.
  std::string program;
  std::string package;
};

inline bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

inline bool programFound(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    return isExecutableFile(program);
  }
  const char* variable = std::getenv("PATH");
  std::string rest = variable != nullptr ? variable : "/bin:/usr/bin";
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string directory = rest.substr(0, colon);
    if (isExecutableFile((directory.empty() ? "." : directory) + "/" + program)) {
      return true;
    }
    if (colon == std::string::npos) {
      return false;
    }
    rest.erase(0, colon + 1);
  }
}

// Asked once per module: importing takes python's start-up time.
inline bool pythonModuleFound(const std::string& module) {
  static std::map<std::string, bool> known;
  const auto cached = known.find(module);
  if (cached != known.end()) {
    return cached->second;
  }
  const bool found =
      isExecutableFile("/usr/bin/python3") &&
      std::system(("/usr/bin/python3 -c 'import " + module + "' >/dev/null 2>&1").c_str()) == 0;
  known.emplace(module, found);
  return found;
}

inline bool present(const Requirement& requirement) {
  const std::string python = "python3:";
  if (requirement.program.rfind(python, 0) == 0) {
    return pythonModuleFound(requirement.program.substr(python.size()));
  }
  return programFound(requirement.program);
}

// The packages of the missing requirements, each once, separated by spaces;
// empty when everything is there.
inline std::string missingPackages(const std::vector<Requirement>& requirements) {
  std::string missing;
  for (const Requirement& requirement : requirements) {
    if (present(requirement) ||
        (" " + missing + " ").find(" " + requirement.package + " ") != std::string::npos) {
      continue;
    }
    missing += (missing.empty() ? "" : " ") + requirement.package;
  }
  return missing;
}

inline std::vector<Requirement> pulseAudioTools() {
  return {{"pulseaudio", "pulseaudio"}, {"pactl", "pulseaudio-utils"}};
}

inline std::vector<Requirement> pipeWireTools() {
  return {{"pipewire", "pipewire"},
          {"wireplumber", "wireplumber"},
          {"pipewire-pulse", "pipewire-pulse"},
          {"pactl", "pulseaudio-utils"},
          {"dbus-daemon", "dbus-daemon"}};
}

// The tools of a test's sound server, for either fixture's kind of server.
template <typename ServerKind>
std::vector<Requirement> soundServerTools(ServerKind kind) {
  return kind == ServerKind::pipeWire ? pipeWireTools() : pulseAudioTools();
}

// python-dbusmock's BlueZ on a private bus, watched with busctl.
inline std::vector<Requirement> bluezMockTools() {
  return {{"/usr/bin/dbus-daemon", "dbus-daemon"},
          {"python3:dbusmock", "python3-dbusmock"},
          {"/usr/bin/busctl", "systemd"}};
}

}  // namespace testing_support

// Skips the current test (from its body or SetUp) when a requirement is
// missing, with the packages that would provide it.
#define KESTRUNE_SKIP_UNLESS_INSTALLED(requirements)                                        \
  if (const std::string kestruneMissing = ::testing_support::missingPackages(requirements); \
      !kestruneMissing.empty())                                                             \
  GTEST_SKIP() << "not installed here: " << kestruneMissing << " (apt-get install "         \
               << kestruneMissing << ")"
