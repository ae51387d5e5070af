#pragma once
// A thread that follows a bus for its owner. It runs the owner's step, then
// sleeps in poll until the bus has something for it, a deadline the step
// named falls due, or the owner wakes it; with nothing happening it never
// wakes up.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "daemon/dbus/Bus.h"

namespace kestrune::daemon::dbus {

// What the thread waits for before the next step.
struct Wait {
  // The bus, when connected (its own deadline included).
  std::optional<Bus::PollFor> bus;
  // When to run the step anyway (a reconnection attempt).
  std::optional<Clock::time_point> deadline;
};

// The descriptor the owner writes to, to wake the thread; closed with it.
class WakeDescriptor {
 public:
  // Throws std::system_error when no descriptor can be made.
  WakeDescriptor();
  WakeDescriptor(const WakeDescriptor&) = delete;
  WakeDescriptor& operator=(const WakeDescriptor&) = delete;
  ~WakeDescriptor();

  int get() const { return fd_; }
  void notify() const;
  void drain() const;

 private:
  int fd_ = -1;
};

class WatchThread {
 public:
  using Step = std::function<Wait()>;

  // Starts the thread (named `name` in top and in stack traces), which runs
  // `step` at once. Throws std::system_error when it cannot start.
  WatchThread(std::string name, Step step);
  WatchThread(const WatchThread&) = delete;
  WatchThread& operator=(const WatchThread&) = delete;
  // Stops the thread after its current step and waits for it.
  ~WatchThread();

  // Runs the step again soon: the owner used the bus itself, so what the
  // thread waits for may be out of date.
  void wake() const { wake_.notify(); }
  // How many steps have run; tests use it to see that an idle bus leaves
  // the thread asleep.
  std::uint64_t steps() const { return steps_.load(); }

 private:
  void run();
  void sleep(const Wait& wait) const;

  std::string name_;
  Step step_;
  WakeDescriptor wake_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> steps_{0};
  std::thread thread_;
};

// Pauses that double from the first to the last, while a bus (or a peer on
// it) stays away.
class Backoff {
 public:
  Backoff(std::chrono::milliseconds first, std::chrono::milliseconds last)
      : first_(first), last_(last), delay_(first) {}

  // Whether the pause after the last failure has still to run out.
  bool pausing() const { return Clock::now() < next_; }
  // When the pause runs out.
  Clock::time_point next() const { return next_; }
  // A failure: the next attempt waits, twice as long as the last one did.
  void failed();
  // A success: the next failure pauses the first pause again.
  void resetDelay() { delay_ = first_; }
  // A success that also ends the pause under way.
  void reset();

 private:
  std::chrono::milliseconds first_;
  std::chrono::milliseconds last_;
  std::chrono::milliseconds delay_;
  Clock::time_point next_{};
};

// The rounds of a service that follows a bus which may go away and come
// back: it connects while the bus is not open (after a pause, while it is
// absent), lets the service read what the bus said, and waits on the bus
// until it is lost.
class FollowLoop {
 public:
  struct Service {
    // Connects the service's bus; says why it could not.
    std::function<std::optional<Error>()> connect;
    // Lets go of the bus and of all that is registered with it.
    std::function<void()> disconnect;
    // The service's part of a round, once what the bus had pending was
    // processed (`processed` false when that failed). Returns a deadline of
    // the service's own to wait for as well, if it has one.
    std::function<std::optional<Clock::time_point>(bool processed)> read;
  };

  // `lost` says what went when the bus closed under the service.
  FollowLoop(Backoff backoff, std::string lost, Service service)
      : backoff_(backoff), lost_(std::move(lost)), service_(std::move(service)) {}

  // One round on the service's `bus`, recording in `connectError` why it is
  // not connected. The wait it returns names the bus while it is open;
  // without one, the bus is absent until the next attempt.
  Wait round(std::optional<Bus>& bus, std::optional<Error>& connectError);
  // Connects at once, pause or not, unless the bus is open: an answer that
  // needs it now. Whether it is connected; if not, `connectError` says why.
  bool connected(std::optional<Bus>& bus, std::optional<Error>& connectError);

  Backoff& backoff() { return backoff_; }

 private:
  Backoff backoff_;
  std::string lost_;
  Service service_;
};

// A watch thread that tells an observer what its look at the bus found,
// each time that changes.
template <class State>
class Follower {
 public:
  using Observer = std::function<void(const State&)>;
  // What is known now, if anything, and what to wait for next.
  using Look = std::function<Wait(std::optional<State>& now)>;

  // The observer is called on the thread, after the look returned.
  Follower(std::string name, Observer observer, Look look)
      : observer_(std::move(observer)),
        look_(std::move(look)),
        thread_(std::move(name), [this] { return step(); }) {}

  const WatchThread& thread() const { return thread_; }

 private:
  Wait step() {
    std::optional<State> now;
    const Wait wait = look_(now);
    if (now && now != sent_) {
      sent_ = now;
      observer_(*now);
    }
    return wait;
  }

  Observer observer_;
  Look look_;
  std::optional<State> sent_;
  // Last: it starts once the rest is there, and stops before it goes.
  WatchThread thread_;
};

// Wakes a watch thread, if there is one, on leaving the scope: whoever used
// the bus meanwhile may have read what the thread waits for.
class WakeOnExit {
 public:
  explicit WakeOnExit(const WatchThread* thread) : thread_(thread) {}
  WakeOnExit(const WakeOnExit&) = delete;
  WakeOnExit& operator=(const WakeOnExit&) = delete;
  ~WakeOnExit() {
    if (thread_ != nullptr) {
      thread_->wake();
    }
  }

 private:
  const WatchThread* thread_;
};

// A service on a bus that may go away and come back: its implementation,
// made at start and used under one lock by the answers and, once the
// service is followed, by a watch thread of its own. While the bus is away
// (the implementation's round waits on no bus) the thread tells what the
// implementation says, else `absent`, as it does without an implementation
// (out of memory at start); the answers say so themselves.
template <class Impl, class State>
class FollowedService {
 public:
  using Observer = typename Follower<State>::Observer;

  // Never throws for want of an implementation.
  template <class Options>
  FollowedService(std::string threadName, State absent, Options options)
      : threadName_(std::move(threadName)), absent_(std::move(absent)) {
    try {
      impl_ = std::make_unique<Impl>(std::move(options));
    } catch (...) {
      impl_.reset();
    }
  }

  // Runs `answer` on the implementation (nullptr when there is none) under
  // the lock. The following thread looks again afterwards: the answer may
  // have read what it waits for.
  template <class Answer>
  auto use(Answer&& answer) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const WakeOnExit wakeFollower{follower_ ? &follower_->thread() : nullptr};
    return std::forward<Answer>(answer)(impl_.get());
  }

  // Starts the watch thread, which runs the implementation's round,
  // follow(std::optional<State>& now), and tells the observer what changed.
  // False when already following or when the thread cannot be started.
  bool follow(Observer observer) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (follower_) {
      return false;
    }
    try {
      follower_ = std::make_unique<Follower<State>>(
          threadName_, std::move(observer),
          [this](std::optional<State>& now) { return look(now); });
    } catch (...) {
      return false;  // no thread or descriptor to be had
    }
    return true;
  }

  // How many steps the watch thread has run.
  std::uint64_t wakeUps() const { return follower_ ? follower_->thread().steps() : 0; }

 private:
  Wait look(std::optional<State>& now) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const Wait wait = impl_ ? impl_->follow(now) : Wait{};
    if (!wait.bus && !now) {
      now = absent_;  // unless the implementation said why
    }
    return wait;
  }

  std::string threadName_;
  State absent_;
  std::mutex mutex_;
  std::unique_ptr<Impl> impl_;
  // Last: its thread stops before the rest goes.
  std::unique_ptr<Follower<State>> follower_;
};

}  // namespace kestrune::daemon::dbus
