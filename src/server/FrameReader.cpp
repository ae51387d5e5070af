#include "server/FrameReader.h"

namespace kestrune::server {

std::span<char> FrameReader::room() {
  switch (state_) {
    case State::header:
      return std::span<char>(header_).subspan(headerReceived_);
    case State::body:
      return std::span<char>(body_).subspan(bodyReceived_);
    case State::complete:
    case State::tooLarge:
      break;
  }
  return {};
}

void FrameReader::took(std::size_t count) {
  if (state_ == State::body) {
    bodyReceived_ += count;
    if (bodyReceived_ == body_.size()) {
      state_ = State::complete;
    }
    return;
  }
  if (state_ != State::header) {
    return;
  }
  headerReceived_ += count;
  if (headerReceived_ < frameHeaderSize) {
    return;
  }
  std::array<unsigned char, frameHeaderSize> bytes{};
  for (std::size_t i = 0; i < frameHeaderSize; ++i) {
    bytes[i] = static_cast<unsigned char>(header_[i]);
  }
  announced_ = frameLength(bytes);
  if (announced_ > maxBody_) {
    state_ = State::tooLarge;
    return;
  }
  body_.resize(announced_);
  state_ = announced_ == 0 ? State::complete : State::body;
}

std::string FrameReader::tooLargeError() const {
  return "Invalid request: message too large: " + std::to_string(announced_) + " bytes (max " +
         std::to_string(maxBody_) + ")";
}

std::string FrameReader::endedEarlyError() const {
  if (state_ == State::header) {
    return "Invalid request: the connection ended after " + std::to_string(headerReceived_) +
           " of the 4 bytes of the length prefix";
  }
  return "Invalid request: the connection ended after " + std::to_string(bodyReceived_) + " of " +
         std::to_string(body_.size()) + " bytes of the request";
}

}  // namespace kestrune::server
