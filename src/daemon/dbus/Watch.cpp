#include "daemon/dbus/Watch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <system_error>
#include <utility>

namespace kestrune::daemon::dbus {

namespace {

// After a failing poll or step (out of memory), the pause before trying
// again.
constexpr std::chrono::milliseconds pollFailurePause{100};
constexpr std::chrono::milliseconds stepFailurePause{100};

// Milliseconds until the deadline, rounded up so that the step does not run
// just before it; -1 (no timeout) without one.
int pollTimeout(const std::optional<Clock::time_point>& deadline) {
  if (!deadline) {
    return -1;
  }
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
  return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
}

std::optional<Clock::time_point> earliest(std::optional<Clock::time_point> a,
                                          std::optional<Clock::time_point> b) {
  if (!a || !b) {
    return a ? a : b;
  }
  return std::min(*a, *b);
}

}  // namespace

WakeDescriptor::WakeDescriptor() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot create an eventfd");
  }
}

WakeDescriptor::~WakeDescriptor() {
  static_cast<void>(::close(fd_));  // nothing was written that could be lost
}

void WakeDescriptor::notify() const {
  const std::uint64_t one = 1;
  const ssize_t written = ::write(fd_, &one, sizeof one);
  // The one failure possible is a saturated counter (EAGAIN), and then the
  // descriptor is readable anyway: no wake-up is lost.
  static_cast<void>(written);
}

void WakeDescriptor::drain() const {
  std::uint64_t count = 0;
  const ssize_t read = ::read(fd_, &count, sizeof count);
  // The one failure possible is an empty counter (EAGAIN): nothing to drain.
  static_cast<void>(read);
}

WatchThread::WatchThread(std::string name, Step step)
    : name_(std::move(name)), step_(std::move(step)), thread_([this] { run(); }) {}

WatchThread::~WatchThread() {
  stopping_ = true;
  wake_.notify();
  thread_.join();
}

void WatchThread::run() {
  // Thread names show in top and in the journal's stack traces; 15 bytes at most.
  static_cast<void>(pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str()));
  while (!stopping_) {
    ++steps_;
    Wait wait;
    try {
      wait = step_();
    } catch (...) {
      // Nothing may end the thread but the owner; the step is tried again
      // a moment later.
      wait = Wait{std::nullopt, Clock::now() + stepFailurePause};
    }
    if (stopping_) {
      return;
    }
    sleep(wait);
  }
}

void WatchThread::sleep(const Wait& wait) const {
  std::array<pollfd, 2> fds{pollfd{wake_.get(), POLLIN, 0}, pollfd{-1, 0, 0}};
  std::optional<Clock::time_point> deadline = wait.deadline;
  if (wait.bus) {
    fds[1] = pollfd{wait.bus->descriptor, wait.bus->events, 0};
    deadline = earliest(deadline, wait.bus->deadline);
  }
  const int ready = ::poll(fds.data(), fds.size(), pollTimeout(deadline));
  if (ready < 0 && errno != EINTR) {
    std::this_thread::sleep_for(pollFailurePause);
    return;
  }
  if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
    wake_.drain();
  }
}

void Backoff::failed() {
  next_ = Clock::now() + delay_;
  delay_ = std::min(delay_ * 2, last_);
}

void Backoff::reset() {
  delay_ = first_;
  next_ = {};
}

bool FollowLoop::connected(std::optional<Bus>& bus, std::optional<Error>& connectError) {
  if (!bus || !bus->isOpen()) {
    service_.disconnect();
    connectError = service_.connect();
  }
  return !connectError;
}

Wait FollowLoop::round(std::optional<Bus>& bus, std::optional<Error>& connectError) {
  if ((!bus || !bus->isOpen()) && backoff_.pausing()) {
    return Wait{std::nullopt, backoff_.next()};
  }
  if (connected(bus, connectError)) {
    auto processed = bus->processPending();
    const std::optional<Clock::time_point> deadline = service_.read(processed.ok());
    auto poll = processed ? bus->pollFor() : Result<Bus::PollFor>(processed.error());
    if (poll && bus->isOpen()) {
      return Wait{poll.value(), deadline};
    }
    service_.disconnect();
    connectError = poll ? Error{std::string(errorNames::disconnected), lost_} : poll.error();
  }
  backoff_.failed();
  return Wait{std::nullopt, backoff_.next()};
}

}  // namespace kestrune::daemon::dbus
