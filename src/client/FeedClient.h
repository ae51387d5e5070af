#pragma once
// Follows the live feed over the application's socket: one connection, the
// subscription frame, then the feed's frames one at a time as they come.
// Waits can be cut short by other descriptors (a stop pipe, a signal pipe),
// so a program can follow the feed and still end promptly.

#include <poll.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>

#include "json/Value.h"
#include "platform/FileDescriptor.h"
#include "protocol/Feed.h"

namespace kestrune {

// Why the feed could not be followed (further). Each case has a fixed
// description.
class FeedClientError : public std::exception {
 public:
  enum class Kind {
    // No socket file, or nobody listening on it: the application is not up.
    notRunning,
    // Any other failure to reach the socket (permissions, a path too long).
    connectionFailed,
    // The first frame was a failure reply (too many subscribers, a bad
    // subscription); detail() is the server's error text.
    refused,
    // The server closed the connection or it broke.
    connectionLost,
    // A frame that is too large, not JSON, or not a feed frame; detail()
    // says what was wrong.
    malformedFrame
  };

  static FeedClientError notRunning();
  static FeedClientError connectionFailed(int errorNumber);
  static FeedClientError refused(std::string serverError);
  // 0 when the server closed the connection, else the errno of the failure.
  static FeedClientError connectionLost(int errorNumber);
  static FeedClientError malformedFrame(std::string detail);

  Kind kind() const noexcept { return kind_; }
  // The errno of connectionFailed and connectionLost; else 0.
  int errorNumber() const noexcept { return errorNumber_; }
  // The server's text (refused) or the fault found (malformedFrame).
  const std::string& detail() const noexcept { return detail_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  FeedClientError(Kind kind, int errorNumber, std::string detail, std::string description);

  Kind kind_;
  int errorNumber_;
  std::string detail_;
  std::string description_;
};

class FeedClient {
 public:
  // The largest frame body accepted; exactly this size is fine.
  static constexpr std::uint32_t maxFrameSize = 1048576;

  // Connects to the socket (an absent path selects defaultSocketPath()) and
  // sends the subscription. Throws FeedClientError: notRunning,
  // connectionFailed, or connectionLost when the subscription cannot be sent.
  explicit FeedClient(const Subscription& subscription,
                      const std::optional<std::string>& socketPath = std::nullopt);

  // Waits for the next frame: the snapshot first, then one change event per
  // frame, each an object with an "event" member. Returns nothing as soon
  // as one of `interrupters` reports an event (polled with the events they
  // ask for; their revents are filled in), leaving any frame for the next
  // call. Throws FeedClientError: refused (only for the first frame),
  // connectionLost, malformedFrame. After a throw the client is spent.
  std::optional<json::Value> next(std::span<pollfd> interrupters = {});
  // The same with one descriptor to wait on for POLLIN (-1 for none).
  std::optional<json::Value> next(int stopDescriptor);

  int descriptor() const noexcept { return socket_.get(); }

 private:
  std::optional<json::Value> takeFrame();
  json::Value checkedFrame(std::string_view body);
  void receive();

  platform::FileDescriptor socket_;
  std::string pending_;  // bytes received and not yet taken as frames
  bool seenFirstFrame_ = false;
};

}  // namespace kestrune
