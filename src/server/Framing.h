#pragma once
// The wire frame, identical in both directions: a 4-byte big-endian body
// length followed by that many bytes of JSON.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune::server {

// The largest body either side sends: replies (an app list) may be large.
inline constexpr std::uint32_t maxMessageSize = 1048576;
// Requests are small; a larger one is refused unread, so that no client can
// hold the server's thread with a long read or parse.
inline constexpr std::uint32_t maxRequestSize = 65536;
inline constexpr std::size_t frameHeaderSize = 4;

inline std::uint32_t frameLength(const std::array<unsigned char, frameHeaderSize>& header) {
  return (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
         (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
}

// The header and body as one buffer. The caller keeps bodies within
// maxMessageSize.
inline std::string frame(std::string_view body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  std::string out;
  out.reserve(frameHeaderSize + body.size());
  out.push_back(static_cast<char>((n >> 24) & 0xFF));
  out.push_back(static_cast<char>((n >> 16) & 0xFF));
  out.push_back(static_cast<char>((n >> 8) & 0xFF));
  out.push_back(static_cast<char>(n & 0xFF));
  out.append(body);
  return out;
}

}  // namespace kestrune::server
