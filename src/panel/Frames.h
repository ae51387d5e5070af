#pragma once
// The socket protocol's framing for Qt sockets: a 4-byte big-endian body
// length, then the JSON body.

#include <QByteArray>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::panel {

inline constexpr qsizetype maxFrameBody = 1048576;

QByteArray frame(std::string_view body);

// Takes complete frames off the front of what has arrived so far.
class FrameReader {
 public:
  enum class Outcome { frame, incomplete, oversized };

  void append(const QByteArray& bytes) { buffer_.append(bytes); }
  // The next complete body in `body`, else why there is none yet.
  Outcome next(std::string& body);
  void clear() { buffer_.clear(); }

 private:
  QByteArray buffer_;
};

}  // namespace kestrune::panel
