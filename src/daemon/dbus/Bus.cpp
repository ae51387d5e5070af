#include "daemon/dbus/Bus.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

namespace kestrune::daemon::dbus {

namespace {

const char* propertiesInterface = "org.freedesktop.DBus.Properties";

// Handlers travel to sd-bus as userdata; sd-bus frees them through the
// slot's destroy callback once the slot is gone, so a handler stays alive
// while it runs even if its Slot is dropped meanwhile.
template <class Handler>
struct Box {
  Handler handler;
};

template <class Handler>
void destroyBox(void* userdata) {
  std::unique_ptr<Box<Handler>> box(static_cast<Box<Handler>*>(userdata));
}

int onReply(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  auto* box = static_cast<Box<Bus::ReplyHandler>*>(userdata);
  sd_bus_message_rewind(message, 1);
  Message reply = Message::borrow(message);
  try {
    if (auto failure = reply.error()) {
      box->handler(std::move(*failure));
    } else {
      box->handler(std::move(reply));
    }
  } catch (...) {
    // Nothing may unwind through sd-bus; the handler's owner sees the
    // failure as a reply that changed nothing.
  }
  return 0;
}

int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
  auto* box = static_cast<Box<Bus::SignalHandler>*>(userdata);
  // Another handler (of ours or of sd-bus) may have read it already.
  sd_bus_message_rewind(message, 1);
  Message signal = Message::borrow(message);
  try {
    box->handler(signal);
  } catch (...) {
    // As above: a signal that cannot be handled is dropped.
  }
  return 0;
}

template <class Handler>
Slot attach(sd_bus_slot* slot, std::unique_ptr<Box<Handler>> box) {
  sd_bus_slot_set_userdata(slot, box.release());
  sd_bus_slot_set_destroy_callback(slot, destroyBox<Handler>);
  return Slot(slot);
}

}  // namespace

std::string Error::describe() const {
  if (name.empty()) {
    return message;
  }
  if (message.empty()) {
    return name;
  }
  return name + ": " + message;
}

Error errorFromErrno(int negativeErrno, std::string_view what) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_error_set_errno(&error, -negativeErrno);
  Error result{error.name != nullptr ? error.name : std::string(errorNames::failed),
               std::string(what) + ": " + std::strerror(-negativeErrno)};
  sd_bus_error_free(&error);
  return result;
}

Slot::Slot(Slot&& other) noexcept : slot_(std::exchange(other.slot_, nullptr)) {}

Slot& Slot::operator=(Slot&& other) noexcept {
  if (this != &other) {
    reset();
    slot_ = std::exchange(other.slot_, nullptr);
  }
  return *this;
}

Slot::~Slot() {
  reset();
}

void Slot::reset() {
  if (slot_ != nullptr) {
    sd_bus_slot_unref(slot_);
    slot_ = nullptr;
  }
}

Result<Bus> Bus::started(sd_bus* bus, int openResult, const char* what) {
  if (openResult < 0) {
    sd_bus_unref(bus);
    return errorFromErrno(openResult, what);
  }
  return Bus(bus);
}

Result<Bus> Bus::session() {
  sd_bus* bus = nullptr;
  const int r = sd_bus_open_user(&bus);
  return started(bus, r, "cannot connect to the session bus");
}

Result<Bus> Bus::system() {
  sd_bus* bus = nullptr;
  const int r = sd_bus_open_system(&bus);
  return started(bus, r, "cannot connect to the system bus");
}

Result<Bus> Bus::atAddress(const std::string& address) {
  sd_bus* bus = nullptr;
  int r = sd_bus_new(&bus);
  if (r >= 0) {
    r = sd_bus_set_address(bus, address.c_str());
  }
  if (r >= 0) {
    r = sd_bus_set_bus_client(bus, 1);
  }
  if (r >= 0) {
    r = sd_bus_start(bus);
  }
  return started(bus, r, "cannot connect to the bus");
}

Bus::Bus(Bus&& other) noexcept : bus_(std::exchange(other.bus_, nullptr)) {}

Bus& Bus::operator=(Bus&& other) noexcept {
  if (this != &other) {
    close();
    bus_ = std::exchange(other.bus_, nullptr);
  }
  return *this;
}

Bus::~Bus() {
  close();
}

void Bus::close() {
  if (bus_ != nullptr) {
    // Nothing waits for queued messages to leave: a peer that stopped
    // reading must not hold up shutdown.
    sd_bus_close_unref(bus_);
    bus_ = nullptr;
  }
}

bool Bus::isOpen() const {
  return bus_ != nullptr && sd_bus_is_open(bus_) > 0;
}

Result<std::string> Bus::uniqueName(Clock::time_point deadline) {
  for (;;) {
    const char* name = nullptr;
    const int r = sd_bus_get_unique_name(bus_, &name);
    if (r >= 0 && name != nullptr) {
      return std::string(name);
    }
    if (r < 0 && r != -ENODATA && r != -ENOTCONN) {
      return errorFromErrno(r, "Cannot read the connection's name");
    }
    if (Clock::now() >= deadline) {
      return Error{std::string(errorNames::timeout), "The bus did not greet the connection."};
    }
    auto waited = waitUntil(deadline);
    if (!waited) {
      return waited.error();
    }
  }
}

Result<Message> Bus::newCall(const MethodCall& call) {
  sd_bus_message* raw = nullptr;
  const int r =
      sd_bus_message_new_method_call(bus_, &raw, call.destination.c_str(), call.path.c_str(),
                                     call.interface.c_str(), call.member.c_str());
  if (r < 0) {
    return errorFromErrno(r, "Cannot build a D-Bus call");
  }
  Message message = Message::adopt(raw);
  if (!call.autoStart) {
    const int flagged = sd_bus_message_set_auto_start(raw, 0);
    if (flagged < 0) {
      return errorFromErrno(flagged, "Cannot build a D-Bus call");
    }
  }
  for (const Argument& argument : call.arguments) {
    auto appended = message.append(argument);
    if (!appended) {
      return appended.error();
    }
  }
  return message;
}

Result<Message> Bus::call(const MethodCall& call, Clock::time_point deadline) {
  if (Clock::now() >= deadline) {
    return Error{std::string(errorNames::timeout), "No time was left for the call."};
  }
  auto message = newCall(call);
  if (!message) {
    return message.error();
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  const auto usec = static_cast<std::uint64_t>(timeLeft(deadline).count());
  const int r = sd_bus_call(bus_, message->get(), usec, &error, &reply);
  if (r < 0) {
    Error failure = sd_bus_error_is_set(&error)
                        ? Error{error.name, error.message != nullptr ? error.message : ""}
                        : errorFromErrno(r, "D-Bus call failed");
    sd_bus_error_free(&error);
    return failure;
  }
  sd_bus_error_free(&error);
  return Message::adopt(reply);
}

Result<Slot> Bus::callAsync(const MethodCall& call, std::chrono::microseconds timeout,
                            ReplyHandler handler) {
  auto message = newCall(call);
  if (!message) {
    return message.error();
  }
  auto box = std::make_unique<Box<ReplyHandler>>(Box<ReplyHandler>{std::move(handler)});
  sd_bus_slot* slot = nullptr;
  const auto usec = static_cast<std::uint64_t>(std::max<std::int64_t>(1, timeout.count()));
  const int r = sd_bus_call_async(bus_, &slot, message->get(), onReply, box.get(), usec);
  if (r < 0) {
    return errorFromErrno(r, "Cannot send a D-Bus call");
  }
  return attach(slot, std::move(box));
}

Result<Slot> Bus::matchSignal(const std::string& rule, SignalHandler handler) {
  auto box = std::make_unique<Box<SignalHandler>>(Box<SignalHandler>{std::move(handler)});
  sd_bus_slot* slot = nullptr;
  const int r = sd_bus_add_match_async(bus_, &slot, rule.c_str(), onSignal, nullptr, box.get());
  if (r < 0) {
    return errorFromErrno(r, "Cannot subscribe to D-Bus signals");
  }
  return attach(slot, std::move(box));
}

Result<bool> Bus::dispatch() {
  bool any = false;
  for (;;) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0) {
      return errorFromErrno(r, "lost the D-Bus connection");
    }
    if (r == 0) {
      return any;
    }
    any = true;
  }
}

Status Bus::processPending() {
  auto dispatched = dispatch();
  if (!dispatched) {
    return dispatched.error();
  }
  return Done{};
}

Status Bus::waitUntil(Clock::time_point deadline) {
  auto dispatched = dispatch();
  if (!dispatched) {
    return dispatched.error();
  }
  // Whatever was already there counts as something arriving.
  if (*dispatched || Clock::now() >= deadline) {
    return Done{};
  }
  const int r = sd_bus_wait(bus_, static_cast<std::uint64_t>(timeLeft(deadline).count()));
  if (r < 0 && r != -EINTR) {
    return errorFromErrno(r, "lost the D-Bus connection");
  }
  return processPending();
}

Result<Bus::PollFor> Bus::pollFor() {
  PollFor wait;
  wait.descriptor = sd_bus_get_fd(bus_);
  if (wait.descriptor < 0) {
    return errorFromErrno(wait.descriptor, "lost the D-Bus connection");
  }
  const int events = sd_bus_get_events(bus_);
  if (events < 0) {
    return errorFromErrno(events, "lost the D-Bus connection");
  }
  wait.events = static_cast<short>(events);
  std::uint64_t due = 0;
  const int r = sd_bus_get_timeout(bus_, &due);
  if (r < 0) {
    return errorFromErrno(r, "lost the D-Bus connection");
  }
  if (due != UINT64_MAX) {
    // sd-bus gives an absolute CLOCK_MONOTONIC time (0: at once).
    // Without a reading of that clock, the loop comes back at once.
    timespec now{};
    std::uint64_t left = 0;
    if (clock_gettime(CLOCK_MONOTONIC, &now) == 0) {
      const auto nowMicroseconds = static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 +
                                   static_cast<std::uint64_t>(now.tv_nsec) / 1'000;
      left = due > nowMicroseconds ? due - nowMicroseconds : 0;
    }
    wait.deadline = Clock::now() + std::chrono::microseconds(left);
  }
  return wait;
}

std::chrono::microseconds timeLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  return std::max(left, std::chrono::microseconds(1));
}

Result<Value> firstArgument(Message& reply) {
  auto values = reply.readAll();
  if (!values) {
    return values.error();
  }
  if (values->empty()) {
    return Error{std::string(errorNames::invalidArgs), "The reply carried no value."};
  }
  // Moved out of the vector, not a local: no elision to lose.
  // cppcheck-suppress returnStdMoveLocal
  return std::move(values->front());
}

Result<Value> getProperty(Bus& bus, const std::string& destination, const std::string& path,
                          const std::string& interface, const std::string& name,
                          Clock::time_point deadline) {
  auto reply =
      bus.call({destination, path, propertiesInterface, "Get", {interface, name}}, deadline);
  if (!reply) {
    return reply.error();
  }
  return firstArgument(reply.value());
}

Result<Value::Dict> getAllProperties(Bus& bus, const std::string& destination,
                                     const std::string& path, const std::string& interface,
                                     Clock::time_point deadline) {
  auto reply = bus.call({destination, path, propertiesInterface, "GetAll", {interface}}, deadline);
  if (!reply) {
    return reply.error();
  }
  auto value = firstArgument(reply.value());
  if (!value) {
    return value.error();
  }
  if (const Value::Dict* properties = value->dict()) {
    return *properties;
  }
  // An object without properties may answer with an empty array.
  return Value::Dict{};
}

Status setProperty(Bus& bus, const std::string& destination, const std::string& path,
                   const std::string& interface, const std::string& name, Variant value,
                   Clock::time_point deadline) {
  auto reply =
      bus.call({destination, path, propertiesInterface, "Set", {interface, name, std::move(value)}},
               deadline);
  if (!reply) {
    return reply.error();
  }
  return Done{};
}

std::string signalRule(const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string rule = "type='signal'";
  for (const auto& [key, value] : keys) {
    rule.append(",").append(key).append("='").append(value).append("'");
  }
  return rule;
}

}  // namespace kestrune::daemon::dbus
