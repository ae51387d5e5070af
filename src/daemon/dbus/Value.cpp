#include "daemon/dbus/Value.h"

#include <limits>

namespace kestrune::daemon::dbus {

std::optional<bool> Value::boolean() const {
  if (const auto* value = std::get_if<bool>(&storage_)) {
    return *value;
  }
  return std::nullopt;
}

std::optional<double> Value::number() const {
  if (const auto* value = std::get_if<double>(&storage_)) {
    return *value;
  }
  if (const auto* value = std::get_if<std::int64_t>(&storage_)) {
    return static_cast<double>(*value);
  }
  if (const auto* value = std::get_if<std::uint64_t>(&storage_)) {
    return static_cast<double>(*value);
  }
  return std::nullopt;
}

std::optional<std::int64_t> Value::integer() const {
  if (const auto* value = std::get_if<std::int64_t>(&storage_)) {
    return *value;
  }
  if (const auto* value = std::get_if<std::uint64_t>(&storage_)) {
    if (*value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return static_cast<std::int64_t>(*value);
    }
  }
  return std::nullopt;
}

std::optional<std::string> Value::string() const {
  if (const auto* value = std::get_if<std::string>(&storage_)) {
    return *value;
  }
  return std::nullopt;
}

const Value::Array* Value::array() const {
  return std::get_if<Array>(&storage_);
}

const Value::Dict* Value::dict() const {
  return std::get_if<Dict>(&storage_);
}

const Value* Value::find(std::string_view key) const {
  const Dict* members = dict();
  if (members == nullptr) {
    return nullptr;
  }
  const auto found = members->find(key);
  return found == members->end() ? nullptr : &found->second;
}

std::vector<std::string> Value::strings() const {
  std::vector<std::string> result;
  if (auto single = string()) {
    result.push_back(std::move(*single));
  } else if (const Array* elements = array()) {
    for (const Value& element : *elements) {
      if (auto text = element.string()) {
        result.push_back(std::move(*text));
      }
    }
  }
  return result;
}

}  // namespace kestrune::daemon::dbus
