#pragma once
// A thread that follows a bus for its owner. It runs the owner's step, then
// sleeps in poll until the bus has something for it, a deadline the step
// named falls due, or the owner wakes it; with nothing happening it never
// wakes up.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

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

}  // namespace kestrune::daemon::dbus
