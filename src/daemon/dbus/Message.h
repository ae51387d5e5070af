#pragma once
// One sd-bus message, reference-counted by sd-bus and owned here.

#include <optional>
#include <string>
#include <vector>

#include "daemon/dbus/Error.h"
#include "daemon/dbus/Value.h"

struct sd_bus_message;

namespace kestrune::daemon::dbus {

class Message {
 public:
  Message() = default;
  // Takes over one reference.
  static Message adopt(sd_bus_message* message);
  // Adds a reference of its own (for messages lent to a callback).
  static Message borrow(sd_bus_message* message);

  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;
  Message(Message&& other) noexcept;
  Message& operator=(Message&& other) noexcept;
  ~Message();

  sd_bus_message* get() const { return message_; }
  explicit operator bool() const { return message_ != nullptr; }

  std::string sender() const;
  std::string path() const;
  std::string interface() const;
  std::string member() const;
  // The error a method-error reply carries; nothing for other messages.
  std::optional<Error> error() const;

  // Reads every argument not read yet.
  Result<std::vector<Value>> readAll();

  Status append(const Argument& argument);

 private:
  explicit Message(sd_bus_message* message) : message_(message) {}
  void release();

  sd_bus_message* message_ = nullptr;
};

}  // namespace kestrune::daemon::dbus
