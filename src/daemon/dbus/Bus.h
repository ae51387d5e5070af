#pragma once
// A connection to a D-Bus bus through sd-bus, and the few operations the
// daemon needs: method calls bounded by a deadline, replies and signals
// delivered to handlers, and the standard Properties interface.
//
// A Bus is not thread-safe; its owner uses it from one thread at a time.
// Handlers run inside processPending(), call() or waitUntil() on that thread.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "daemon/dbus/Error.h"
#include "daemon/dbus/Message.h"
#include "daemon/dbus/Value.h"

struct sd_bus;
struct sd_bus_slot;

namespace kestrune::daemon::dbus {

using Clock = std::chrono::steady_clock;

struct MethodCall {
  std::string destination;
  std::string path;
  std::string interface;
  std::string member;
  std::vector<Argument> arguments;
  // Whether the bus may start the destination's service to answer; false
  // asks only a peer that is already running.
  bool autoStart = true;
};

// A registration with the bus (a match or a pending call). Destroying it
// removes the match or forgets the call; its handler then never runs again.
class Slot {
 public:
  Slot() = default;
  explicit Slot(sd_bus_slot* slot) : slot_(slot) {}
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  Slot(Slot&& other) noexcept;
  Slot& operator=(Slot&& other) noexcept;
  ~Slot();

  explicit operator bool() const { return slot_ != nullptr; }
  void reset();

 private:
  sd_bus_slot* slot_ = nullptr;
};

class Bus {
 public:
  using ReplyHandler = std::function<void(Result<Message>)>;
  using SignalHandler = std::function<void(Message&)>;

  // The user's session bus (DBUS_SESSION_BUS_ADDRESS, else
  // $XDG_RUNTIME_DIR/bus) and the system bus (DBUS_SYSTEM_BUS_ADDRESS, else
  // the standard socket). Connecting does not wait for the bus to answer.
  static Result<Bus> session();
  static Result<Bus> system();
  static Result<Bus> atAddress(const std::string& address);

  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;
  Bus(Bus&& other) noexcept;
  Bus& operator=(Bus&& other) noexcept;
  ~Bus();

  // Sends the call and waits for its reply until the deadline.
  Result<Message> call(const MethodCall& call, Clock::time_point deadline);
  // Sends the call; the handler gets the reply, the peer's error, or a
  // NoReply error once `timeout` has passed.
  Result<Slot> callAsync(const MethodCall& call, std::chrono::microseconds timeout,
                         ReplyHandler handler);
  // Asks the bus for signals matching the rule (the request itself is not
  // waited for).
  Result<Slot> matchSignal(const std::string& rule, SignalHandler handler);

  // Dispatches everything already received, without waiting.
  Status processPending();
  // Dispatches what has arrived; when nothing had, waits until something
  // arrives or the deadline passes, and dispatches that.
  Status waitUntil(Clock::time_point deadline);

  // What an event loop of the owner's waits for before calling
  // processPending() again: the descriptor becoming ready for `events`
  // (POLLIN, POLLOUT), or the deadline (a pending call's timeout; now when
  // messages are already queued), whichever comes first.
  struct PollFor {
    int descriptor = -1;
    short events = 0;
    std::optional<Clock::time_point> deadline;
  };
  Result<PollFor> pollFor();

  bool isOpen() const;
  // This connection's unique name (":1.42"); waits for the bus's greeting
  // until the deadline if it has not arrived yet.
  Result<std::string> uniqueName(Clock::time_point deadline);

 private:
  explicit Bus(sd_bus* bus) : bus_(bus) {}
  static Result<Bus> started(sd_bus* bus, int openResult, const char* what);
  // Runs sd_bus_process until it has nothing left; says whether it did
  // anything.
  Result<bool> dispatch();
  Result<Message> newCall(const MethodCall& call);
  void close();

  sd_bus* bus_ = nullptr;
};

// Microseconds left until the deadline, at least 1 (sd-bus reads 0 as "use
// the default timeout").
std::chrono::microseconds timeLeft(Clock::time_point deadline);

// org.freedesktop.DBus.Properties.
Result<Value> getProperty(Bus& bus, const std::string& destination, const std::string& path,
                          const std::string& interface, const std::string& name,
                          Clock::time_point deadline);
Result<Value::Dict> getAllProperties(Bus& bus, const std::string& destination,
                                     const std::string& path, const std::string& interface,
                                     Clock::time_point deadline);
Status setProperty(Bus& bus, const std::string& destination, const std::string& path,
                   const std::string& interface, const std::string& name, Variant value,
                   Clock::time_point deadline);

// The first argument of a reply, or an error naming what was expected.
Result<Value> firstArgument(Message& reply);

// A match rule for signals: type='signal' plus the given key='value' pairs.
std::string signalRule(const std::vector<std::pair<std::string, std::string>>& keys);

}  // namespace kestrune::daemon::dbus
