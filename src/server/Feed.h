#pragma once
// What subscribers follow: the application's sources hand in their part of
// the state from any thread, and the server's loop, woken by it, sends each
// subscriber what changed.

#include <mutex>
#include <utility>

#include "protocol/Feed.h"
#include "server/WakePipe.h"

namespace kestrune::server {

class Feed {
 public:
  Feed() = default;
  Feed(const Feed&) = delete;
  Feed& operator=(const Feed&) = delete;

  // The whole state at once.
  void publish(FeedState state) {
    update([&state](FeedState& current) { current = std::move(state); });
  }

  // Changes a part of the state (one source's), under the feed's lock.
  template <class Change>
  void update(Change&& change) {
    {
      const std::lock_guard lock(mutex_);
      change(state_);
    }
    wake_.wake();
  }

  FeedState current() const {
    const std::lock_guard lock(mutex_);
    return state_;
  }

  // For the server's loop: readable after an update, until taken.
  int descriptor() const noexcept { return wake_.descriptor(); }
  void takeWakeUp() { wake_.drain(); }

 private:
  mutable std::mutex mutex_;
  FeedState state_;
  WakePipe wake_;
};

}  // namespace kestrune::server
