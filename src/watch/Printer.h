#pragma once
// What kestrune-watch prints of the feed: JSON lines (the snapshot, then
// each change followed) or, with --format, the template each time its
// filled-in text changes.

#include <optional>
#include <string>

#include "json/Value.h"
#include "protocol/Feed.h"
#include "watch/WatchCommandLine.h"

namespace kestrune::watch {

// Writes one line and flushes it at once. False once the reader has gone
// away (EPIPE); throws WatchError for any other failure.
bool writeLine(int descriptor, const std::string& line);

// The snapshot with the members of the kinds not followed taken out
// (their records, the apps' icons, the cover art, their reasons).
json::Value snapshotFollowing(const json::Value& snapshot, FeedKinds kinds);

class Printer {
 public:
  Printer(const WatchOptions& options, int output);

  // One frame of the feed, the snapshot first. False once the output is
  // closed. Throws FeedClientError (malformedFrame) for a frame that cannot
  // be followed: a known event with bad members, a change before the
  // snapshot.
  bool frame(const json::Value& frame);
  // The application is not (or no longer) running: the daemon line once,
  // or the empty template. False once the output is closed.
  bool daemonGone();
  // Whether a snapshot came since the last daemonGone().
  bool following() const { return following_; }

 private:
  bool print(const std::string& line);
  bool printTemplate(const FeedState* state);

  int output_;
  FeedKinds only_;
  FeedKinds followed_;
  std::optional<Template> format_;
  FeedState state_;
  bool following_ = false;
  bool goneAnnounced_ = false;
  std::optional<std::string> lastLine_;  // with --format, what was printed last
};

}  // namespace kestrune::watch
