#pragma once
// A D-Bus value read from a message, as a tree: basic values, arrays, and
// dictionaries (a{..}) keyed by their key's text. Variants are unwrapped.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kestrune::daemon::dbus {

class Value {
 public:
  using Array = std::vector<Value>;
  using Dict = std::map<std::string, Value, std::less<>>;
  // Signed integers of every width are int64, unsigned ones uint64; strings,
  // object paths and signatures are strings; structs are arrays.
  using Storage = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double,
                               std::string, Array, Dict>;

  Value() = default;
  template <class T>
  Value(T value) : storage_(std::move(value)) {}  // NOLINT(google-explicit-constructor)

  const Storage& storage() const { return storage_; }
  bool empty() const { return std::holds_alternative<std::monostate>(storage_); }

  std::optional<bool> boolean() const;
  // Any numeric value, as a double.
  std::optional<double> number() const;
  // Any integer that fits in an int64 (not doubles).
  std::optional<std::int64_t> integer() const;
  std::optional<std::string> string() const;
  const Array* array() const;
  const Dict* dict() const;
  // The member of a dictionary; nullptr when this is no dictionary or has no
  // such key.
  const Value* find(std::string_view key) const;
  // An array of strings (non-strings skipped), or a single string.
  std::vector<std::string> strings() const;

 private:
  Storage storage_;
};

// Arguments for outgoing messages. Plain C++ types map to b, x, d and s.
struct ObjectPath {
  std::string path;
};
// A value wrapped in a variant (v); only basic values.
struct Variant {
  std::variant<bool, std::int64_t, double, std::string> value;
};
using Argument = std::variant<bool, std::int64_t, double, std::string, ObjectPath, Variant>;

}  // namespace kestrune::daemon::dbus
