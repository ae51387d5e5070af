#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "ArgumentParser/CompletionKind.h"

namespace argparse {

// A value type that can be built from one command-line argument. Specialise
// with:
//   static std::optional<T> fromArgument(std::string_view text);  // nullopt: invalid
//   static std::string defaultValueDescription(const T& value);    // text in help
// and optionally
//   static std::vector<std::string> allValueStrings();  // listed in help, completed
//   static CompletionKind defaultCompletionKind();
// `fromArgument` may throw a std::exception whose what() explains the failure.
template <typename T, typename = void>
struct ExpressibleByArgument;

// The strings of a string-backed enumeration, in case order:
//   namespace argparse {
//   template <> struct EnumStrings<Colour> {
//     static constexpr std::pair<Colour, std::string_view> cases[] = {
//         {Colour::red, "red"}, {Colour::green, "green"}};
//   };
//   }
// makes Colour an ExpressibleByArgument that accepts exactly those strings.
template <typename E>
struct EnumStrings;

template <typename E>
concept StringEnumeration = requires {
  EnumStrings<E>::cases;
};

// The string of an enumeration case declared through EnumStrings.
template <StringEnumeration E>
std::string_view enumString(E value) {
  for (const auto& [item, text] : EnumStrings<E>::cases) {
    if (item == value) {
      return text;
    }
  }
  return {};
}

namespace detail {
std::optional<std::intmax_t> parseSigned(std::string_view text);
std::optional<std::uintmax_t> parseUnsigned(std::string_view text);
std::optional<double> parseDouble(std::string_view text);
// 15 gives "15.0"; other values their shortest round-trip text.
std::string describeDouble(double value);
}  // namespace detail

template <>
struct ExpressibleByArgument<std::string> {
  static std::optional<std::string> fromArgument(std::string_view text) {
    return std::string(text);
  }
  static std::string defaultValueDescription(const std::string& value) { return value; }
};

template <>
struct ExpressibleByArgument<bool> {
  static std::optional<bool> fromArgument(std::string_view text) {
    if (text == "true") {
      return true;
    }
    if (text == "false") {
      return false;
    }
    return std::nullopt;
  }
  static std::string defaultValueDescription(bool value) { return value ? "true" : "false"; }
};

template <typename T>
struct ExpressibleByArgument<T,
                             std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static std::optional<T> fromArgument(std::string_view text) {
    if constexpr (std::is_signed_v<T>) {
      auto v = detail::parseSigned(text);
      if (!v || !std::in_range<T>(*v)) {
        return std::nullopt;
      }
      return static_cast<T>(*v);
    } else {
      auto v = detail::parseUnsigned(text);
      if (!v || !std::in_range<T>(*v)) {
        return std::nullopt;
      }
      return static_cast<T>(*v);
    }
  }
  static std::string defaultValueDescription(T value) { return std::to_string(value); }
};

template <typename T>
struct ExpressibleByArgument<T, std::enable_if_t<std::is_floating_point_v<T>>> {
  static std::optional<T> fromArgument(std::string_view text) {
    auto v = detail::parseDouble(text);
    if (!v) {
      return std::nullopt;
    }
    return static_cast<T>(*v);
  }
  static std::string defaultValueDescription(T value) {
    return detail::describeDouble(static_cast<double>(value));
  }
};

template <typename E>
struct ExpressibleByArgument<E, std::enable_if_t<StringEnumeration<E>>> {
  static std::optional<E> fromArgument(std::string_view text) {
    for (const auto& [item, string] : EnumStrings<E>::cases) {
      if (string == text) {
        return item;
      }
    }
    return std::nullopt;
  }
  static std::string defaultValueDescription(E value) { return std::string(enumString(value)); }
  static std::vector<std::string> allValueStrings() {
    std::vector<std::string> all;
    for (const auto& entry : EnumStrings<E>::cases) {
      all.emplace_back(entry.second);
    }
    return all;
  }
};

template <typename T>
concept ArgumentValue = requires(std::string_view text) {
  { ExpressibleByArgument<T>::fromArgument(text) } -> std::same_as<std::optional<T>>;
};

template <typename T>
std::vector<std::string> allValueStrings() {
  if constexpr (requires { ExpressibleByArgument<T>::allValueStrings(); }) {
    return ExpressibleByArgument<T>::allValueStrings();
  } else {
    return {};
  }
}

// A type's own completion: its declared one, else the list of its values.
template <typename T>
CompletionKind defaultCompletionKind() {
  if constexpr (requires { ExpressibleByArgument<T>::defaultCompletionKind(); }) {
    return ExpressibleByArgument<T>::defaultCompletionKind();
  } else {
    auto values = allValueStrings<T>();
    return values.empty() ? CompletionKind() : CompletionKind::list(std::move(values));
  }
}

}  // namespace argparse
