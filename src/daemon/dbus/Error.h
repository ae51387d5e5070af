#pragma once
// Failures of D-Bus operations as values: the error name the bus or the peer
// gave (or the one matching a local errno) and its message.

#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace kestrune::daemon::dbus {

namespace errorNames {
inline constexpr std::string_view noReply = "org.freedesktop.DBus.Error.NoReply";
inline constexpr std::string_view timeout = "org.freedesktop.DBus.Error.Timeout";
inline constexpr std::string_view serviceUnknown = "org.freedesktop.DBus.Error.ServiceUnknown";
inline constexpr std::string_view nameHasNoOwner = "org.freedesktop.DBus.Error.NameHasNoOwner";
inline constexpr std::string_view unknownMethod = "org.freedesktop.DBus.Error.UnknownMethod";
inline constexpr std::string_view unknownObject = "org.freedesktop.DBus.Error.UnknownObject";
inline constexpr std::string_view unknownInterface = "org.freedesktop.DBus.Error.UnknownInterface";
inline constexpr std::string_view unknownProperty = "org.freedesktop.DBus.Error.UnknownProperty";
inline constexpr std::string_view propertyReadOnly = "org.freedesktop.DBus.Error.PropertyReadOnly";
inline constexpr std::string_view accessDenied = "org.freedesktop.DBus.Error.AccessDenied";
inline constexpr std::string_view notSupported = "org.freedesktop.DBus.Error.NotSupported";
inline constexpr std::string_view invalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
inline constexpr std::string_view disconnected = "org.freedesktop.DBus.Error.Disconnected";
inline constexpr std::string_view failed = "org.freedesktop.DBus.Error.Failed";
}  // namespace errorNames

struct Error {
  std::string name;
  std::string message;

  bool is(std::string_view errorName) const { return name == errorName; }
  // The peer did not answer in the time given.
  bool timedOut() const { return is(errorNames::noReply) || is(errorNames::timeout); }
  // The connection itself is gone; a new one is needed.
  bool disconnected() const { return is(errorNames::disconnected); }
  // The peer does not know the method, object, interface or property.
  bool unknownMember() const {
    return is(errorNames::unknownMethod) || is(errorNames::unknownObject) ||
           is(errorNames::unknownInterface) || is(errorNames::unknownProperty);
  }
  // "name: message", or whichever of the two is present.
  std::string describe() const;
};

// The error that sd-bus associates with a negative errno return value, with
// `what` saying which operation failed.
Error errorFromErrno(int negativeErrno, std::string_view what);

// Either a value or the Error that prevented it.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
  Result(Error error) : state_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return std::holds_alternative<T>(state_); }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<T>(state_); }
  const T& value() const& { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<Error>(state_); }

 private:
  std::variant<T, Error> state_;
};

// The outcome of an operation that gives nothing back.
struct Done {};
using Status = Result<Done>;

}  // namespace kestrune::daemon::dbus
