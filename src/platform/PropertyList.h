#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>

namespace platform {

// The top-level dictionary of a property list with the string values it holds.
// Values of other types are kept as "not a string" so that a lookup can tell a
// missing key from a key of the wrong type.
struct PropertyListDictionary {
  struct NotAString {};
  std::map<std::string, std::variant<std::string, NotAString>> entries;

  std::optional<std::string> string(const std::string& key) const;
  bool contains(const std::string& key) const { return entries.count(key) != 0; }
};

// Reads an XML or binary property list whose root is a dictionary; nothing
// when the file cannot be read, is malformed, or its root is not a dictionary.
std::optional<PropertyListDictionary> readPropertyListDictionary(const std::string& path);

}  // namespace platform
