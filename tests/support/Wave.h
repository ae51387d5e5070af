#pragma once
// Sound files for the tests' players and recorders: 16-bit stereo WAV files
// written from samples, and the float recordings of parec read back.

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrune::test_audio {

namespace detail {

inline void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

}  // namespace detail

// Writes `frames` frames of `sampleAt(frame)` (within -1…1, the same on both
// channels) as a 16-bit stereo WAV at `rate`. The file appears whole: it is
// written beside the path and renamed into place, so a player started from
// another test at the same time never reads half a file.
inline void writeWave(const std::string& path, unsigned rate, std::uint32_t frames,
                      const std::function<double(std::uint32_t)>& sampleAt) {
  using detail::putLittleEndian;
  std::string data;
  data.reserve(std::size_t{frames} * 4);
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    const auto sample =
        static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(sampleAt(frame) * 32767)));
    putLittleEndian(data, sample, 2);
    putLittleEndian(data, sample, 2);
  }
  std::string header = "RIFF";
  putLittleEndian(header, 36 + static_cast<std::uint32_t>(data.size()), 4);
  header += "WAVEfmt ";
  putLittleEndian(header, 16, 4);
  putLittleEndian(header, 1, 2);  // PCM
  putLittleEndian(header, 2, 2);  // channels
  putLittleEndian(header, rate, 4);
  putLittleEndian(header, rate * 4, 4);
  putLittleEndian(header, 4, 2);
  putLittleEndian(header, 16, 2);
  header += "data";
  putLittleEndian(header, static_cast<std::uint32_t>(data.size()), 4);
  const std::string partial = path + ".part" + std::to_string(::getpid());
  {
    std::ofstream out(partial, std::ios::binary);
    out << header << data;
    out.close();
    if (!out) {
      throw std::runtime_error("could not write " + path);
    }
  }
  std::filesystem::rename(partial, path);
}

// The left channel of a float32 stereo recording.
inline std::vector<float> readLeftChannel(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<float> left;
  std::array<float, 2> frame{};
  while (in.read(reinterpret_cast<char*>(frame.data()), sizeof frame)) {
    left.push_back(frame[0]);
  }
  return left;
}

}  // namespace kestrune::test_audio
