#pragma once
// A JSON document in memory, its parser and its two writers.
//
//   json::Value v = json::parse(text);            // throws json::ParseError
//   const json::Value* p = v.find("success");     // nullptr when missing
//   std::string wire = json::writeCompact(v);     // throws json::EncodingError
//   std::string shown = json::writePretty(v);     // sorted keys, "key" : value
//
// Building a value keeps member order:
//   json::Value v = json::ObjectBuilder()
//                       .add("uid", uid)
//                       .addIfPresent("volume", optionalVolume)   // left out when absent
//                       .build();
//
// Reading typed members with coding paths and decoding errors: see json/Decoder.h.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "json/Errors.h"

namespace json {

class Value;

using Array = std::vector<Value>;
using Member = std::pair<std::string, Value>;

// An object: members in insertion order, one member per key. Setting an
// existing key replaces its value in place (the last value wins).
class Object {
 public:
  Object() = default;

  std::size_t size() const noexcept;
  bool empty() const noexcept;
  std::vector<Member>::const_iterator begin() const noexcept;
  std::vector<Member>::const_iterator end() const noexcept;
  std::vector<Member>::iterator begin() noexcept;
  std::vector<Member>::iterator end() noexcept;
  const std::vector<Member>& members() const noexcept { return members_; }

  const Value* find(std::string_view key) const noexcept;
  Value* find(std::string_view key) noexcept;
  bool contains(std::string_view key) const noexcept;

  // Adds the member at the end, or replaces the value of an existing key.
  Value& set(std::string key, Value value);
  // Removes the member; returns whether it was there.
  bool erase(std::string_view key);
  void reserve(std::size_t n);

  friend bool operator==(const Object& a, const Object& b);

 private:
  friend class Parser;
  std::vector<Member> members_;
};

enum class Type { null, boolean, number, string, array, object };

// Lower-case name with article for messages: "a string", "null", "an array".
std::string_view describe(Type type);

class Value {
 public:
  Value() noexcept = default;  // null
  Value(std::nullptr_t) noexcept {}

  // Exactly bool: a pointer or a number never turns into a bool by accident.
  template <std::same_as<bool> B>
  Value(B b) noexcept : storage_(static_cast<bool>(b)) {}

  // Integers are kept exactly. Unsigned values beyond the signed 64-bit range
  // are stored as doubles.
  template <std::integral I>
  requires(!std::same_as<I, bool>) Value(I i)
  noexcept : storage_(fromIntegral(i)) {}

  template <std::floating_point F>
  Value(F d) noexcept : storage_(static_cast<double>(d)) {}

  Value(std::string s) noexcept : storage_(std::move(s)) {}
  Value(std::string_view s) : storage_(std::string(s)) {}
  Value(const char* s) : storage_(std::string(s)) {}
  Value(Array a) noexcept : storage_(std::move(a)) {}
  Value(Object o) noexcept : storage_(std::move(o)) {}

  Type type() const noexcept;
  bool isNull() const noexcept { return std::holds_alternative<std::nullptr_t>(storage_); }
  bool isBool() const noexcept { return std::holds_alternative<bool>(storage_); }
  bool isNumber() const noexcept { return isInteger() || isDouble(); }
  // A number held as an exact 64-bit integer (written without fraction or
  // exponent and within range when parsed).
  bool isInteger() const noexcept { return std::holds_alternative<std::int64_t>(storage_); }
  // A number held as a double.
  bool isDouble() const noexcept { return std::holds_alternative<double>(storage_); }
  bool isString() const noexcept { return std::holds_alternative<std::string>(storage_); }
  bool isArray() const noexcept { return std::holds_alternative<Array>(storage_); }
  bool isObject() const noexcept { return std::holds_alternative<Object>(storage_); }

  // Accessors require the matching type (std::bad_variant_access otherwise).
  bool asBool() const { return std::get<bool>(storage_); }
  // Any number, converted to double.
  double asDouble() const;
  // A number that is a whole value within the signed 64-bit range (also a
  // double such as 3.0); nothing for 3.5, 1e20 or a non-number.
  std::optional<std::int64_t> exactInteger() const noexcept;
  const std::string& asString() const { return std::get<std::string>(storage_); }
  std::string& asString() { return std::get<std::string>(storage_); }
  const Array& asArray() const { return std::get<Array>(storage_); }
  Array& asArray() { return std::get<Array>(storage_); }
  const Object& asObject() const { return std::get<Object>(storage_); }
  Object& asObject() { return std::get<Object>(storage_); }

  // Member lookup; nullptr when this is not an object or the key is missing.
  const Value* find(std::string_view key) const noexcept;

  // Structural equality; an integer and a double compare by numeric value.
  friend bool operator==(const Value& a, const Value& b);

 private:
  template <class I>
  static std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object>
  fromIntegral(I i) noexcept {
    if constexpr (std::is_unsigned_v<I> && sizeof(I) >= sizeof(std::int64_t)) {
      if (i > static_cast<std::uint64_t>(INT64_MAX)) {
        return static_cast<double>(i);
      }
    }
    return static_cast<std::int64_t>(i);
  }

  std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Array, Object> storage_;
};

inline std::size_t Object::size() const noexcept {
  return members_.size();
}
inline bool Object::empty() const noexcept {
  return members_.empty();
}
inline std::vector<Member>::const_iterator Object::begin() const noexcept {
  return members_.cbegin();
}
inline std::vector<Member>::const_iterator Object::end() const noexcept {
  return members_.cend();
}
inline std::vector<Member>::iterator Object::begin() noexcept {
  return members_.begin();
}
inline std::vector<Member>::iterator Object::end() noexcept {
  return members_.end();
}
inline bool Object::contains(std::string_view key) const noexcept {
  return find(key) != nullptr;
}
inline void Object::reserve(std::size_t n) {
  members_.reserve(n);
}

// Builds an object member by member, in the order written.
class ObjectBuilder {
 public:
  ObjectBuilder& add(std::string key, Value value) {
    object_.set(std::move(key), std::move(value));
    return *this;
  }
  // Optional members are left out when absent, never written as null.
  template <class T>
  ObjectBuilder& addIfPresent(std::string key, const std::optional<T>& value) {
    if (value) {
      object_.set(std::move(key), Value(*value));
    }
    return *this;
  }
  Value build() { return Value(std::move(object_)); }

 private:
  Object object_;
};

// Nesting deeper than this is a parse error (never a stack overflow).
inline constexpr std::size_t maxDepth = 512;

// Strict JSON over UTF-8 bytes: no byte-order mark, comments or trailing
// commas; invalid UTF-8 and unpaired surrogates are errors. Integers within
// the signed 64-bit range are kept exactly, other numbers as doubles (a
// number beyond the double range is an error, one too small becomes 0).
// Throws ParseError.
Value parse(std::string_view utf8);

// No added white space, members in insertion order, "/" written as "\/",
// whole doubles without a fraction. Throws EncodingError for a non-finite
// number.
std::string writeCompact(const Value& value);

// Two-space indentation, one member or element per line, "key" : value,
// members of every object sorted by key (byte-wise). Empty containers are
// written as [] and {}. Same number and escaping rules as writeCompact. No
// newline follows the closing bracket.
std::string writePretty(const Value& value);

// The text of one number as both writers produce it.
std::string numberText(double value);  // throws EncodingError if not finite

}  // namespace json
