#pragma once
// One incoming frame, read in pieces of whatever size the socket gives. The
// length prefix decides before any of the body is read: a body announced
// over the bound is never read (nor memory set aside for it), so a client
// cannot make the server read or parse more than the bound.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "server/Framing.h"

namespace kestrune::server {

class FrameReader {
 public:
  enum class State { header, body, complete, tooLarge };

  explicit FrameReader(std::uint32_t maxBody) : maxBody_(maxBody) {}

  State state() const { return state_; }
  // Where the next bytes go: never more than the frame still needs, so that
  // nothing past the frame is consumed. Empty once complete or refused.
  std::span<char> room();
  // `count` bytes (at most room().size()) have been written into room().
  void took(std::size_t count);

  // The body, once complete.
  std::string_view body() const { return body_; }
  // The length the prefix announced, once read.
  std::uint32_t announced() const { return announced_; }
  bool started() const { return headerReceived_ > 0; }

  // What a client whose frame is refused or cut short is told.
  std::string tooLargeError() const;
  std::string endedEarlyError() const;

 private:
  std::uint32_t maxBody_;
  State state_ = State::header;
  std::array<char, frameHeaderSize> header_{};
  std::size_t headerReceived_ = 0;
  std::uint32_t announced_ = 0;
  std::string body_;
  std::size_t bodyReceived_ = 0;
};

}  // namespace kestrune::server
