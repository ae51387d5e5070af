#pragma once
// What the media tests play: tagged tracks, and where mpv's MPRIS plugin is.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "daemon/dbus/Peers.h"

namespace kestrune::testing {

// The plugin's shared object as the package installed it; empty without it.
inline std::string mpvPluginPath() {
  std::istringstream files(runCommand({"/usr/bin/dpkg", "-L", "mpv-mpris"}).out);
  std::string line;
  while (std::getline(files, line)) {
    if (line.size() > 9 && line.compare(line.size() - 9, 9, "/mpris.so") == 0 &&
        line.rfind("/etc/", 0) != 0) {
      return line;
    }
  }
  return {};
}

inline void putLE(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

inline std::string chunk(const std::string& id, const std::string& body) {
  std::string out = id;
  putLE(out, static_cast<std::uint32_t>(body.size()), 4);
  out += body;
  if (body.size() % 2 != 0) {
    out.push_back('\0');
  }
  return out;
}

// A silent 8 kHz mono WAV file whose INFO list names title, artist and album.
inline void writeTaggedWav(const std::string& path, const std::string& title,
                           const std::string& artist, const std::string& album, int seconds) {
  const std::uint32_t rate = 8000;
  std::string format;
  putLE(format, 1, 2);
  putLE(format, 1, 2);
  putLE(format, rate, 4);
  putLE(format, rate, 4);
  putLE(format, 1, 2);
  putLE(format, 8, 2);
  const std::string info = "INFO" + chunk("INAM", title + '\0') + chunk("IART", artist + '\0') +
                           chunk("IPRD", album + '\0');
  const std::string body = "WAVE" + chunk("fmt ", format) + chunk("LIST", info) +
                           chunk("data", std::string(rate * seconds, '\x80'));
  std::ofstream(path, std::ios::binary) << chunk("RIFF", body);
}

}  // namespace kestrune::testing
