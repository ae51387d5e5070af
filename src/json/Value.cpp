#include "json/Value.h"

#include <algorithm>
#include <cmath>

namespace json {

const Value* Object::find(std::string_view key) const noexcept {
  for (const Member& member : members_) {
    if (member.first == key) {
      return &member.second;
    }
  }
  return nullptr;
}

Value* Object::find(std::string_view key) noexcept {
  for (Member& member : members_) {
    if (member.first == key) {
      return &member.second;
    }
  }
  return nullptr;
}

Value& Object::set(std::string key, Value value) {
  if (Value* existing = find(key)) {
    *existing = std::move(value);
    return *existing;
  }
  return members_.emplace_back(std::move(key), std::move(value)).second;
}

bool Object::erase(std::string_view key) {
  auto it = std::find_if(members_.begin(), members_.end(),
                         [key](const Member& member) { return member.first == key; });
  if (it == members_.end()) {
    return false;
  }
  members_.erase(it);
  return true;
}

bool operator==(const Object& a, const Object& b) {
  return a.members_ == b.members_;
}

std::string_view describe(Type type) {
  switch (type) {
    case Type::null:
      return "null";
    case Type::boolean:
      return "a boolean";
    case Type::number:
      return "a number";
    case Type::string:
      return "a string";
    case Type::array:
      return "an array";
    case Type::object:
      return "an object";
  }
  return "a value";
}

Type Value::type() const noexcept {
  switch (storage_.index()) {
    case 0:
      return Type::null;
    case 1:
      return Type::boolean;
    case 2:
    case 3:
      return Type::number;
    case 4:
      return Type::string;
    case 5:
      return Type::array;
    default:
      return Type::object;
  }
}

double Value::asDouble() const {
  if (const auto* i = std::get_if<std::int64_t>(&storage_)) {
    return static_cast<double>(*i);
  }
  return std::get<double>(storage_);
}

std::optional<std::int64_t> Value::exactInteger() const noexcept {
  if (const auto* i = std::get_if<std::int64_t>(&storage_)) {
    return *i;
  }
  const auto* d = std::get_if<double>(&storage_);
  // 2^63 is the first double past the range; -2^63 itself fits.
  constexpr double limit = 9223372036854775808.0;
  if (d == nullptr || !std::isfinite(*d) || std::trunc(*d) != *d || *d >= limit || *d < -limit) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(*d);
}

const Value* Value::find(std::string_view key) const noexcept {
  const auto* object = std::get_if<Object>(&storage_);
  return object == nullptr ? nullptr : object->find(key);
}

bool operator==(const Value& a, const Value& b) {
  if (a.isNumber() && b.isNumber()) {
    if (a.isInteger() && b.isInteger()) {
      return a.storage_ == b.storage_;
    }
    return a.asDouble() == b.asDouble();
  }
  return a.storage_ == b.storage_;
}

}  // namespace json
