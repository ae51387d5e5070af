#include "panel/Frames.h"

#include <array>
#include <cstdint>

namespace kestrune::panel {

QByteArray frame(std::string_view body) {
  const auto size = static_cast<std::uint32_t>(body.size());
  const std::array<char, 4> header{
      static_cast<char>((size >> 24U) & 0xFFU), static_cast<char>((size >> 16U) & 0xFFU),
      static_cast<char>((size >> 8U) & 0xFFU), static_cast<char>(size & 0xFFU)};
  QByteArray bytes(header.data(), header.size());
  bytes.append(body.data(), static_cast<qsizetype>(body.size()));
  return bytes;
}

FrameReader::Outcome FrameReader::next(std::string& body) {
  if (buffer_.size() < 4) {
    return Outcome::incomplete;
  }
  std::uint32_t size = 0;
  for (qsizetype i = 0; i < 4; ++i) {
    size = (size << 8U) | static_cast<std::uint8_t>(buffer_.at(i));
  }
  if (size > maxFrameBody) {
    return Outcome::oversized;
  }
  const qsizetype total = 4 + static_cast<qsizetype>(size);
  if (buffer_.size() < total) {
    return Outcome::incomplete;
  }
  body.assign(buffer_.constData() + 4, size);
  buffer_.remove(0, total);
  return Outcome::frame;
}

}  // namespace kestrune::panel
