#pragma once
// What every fuzz target shares: the input as text, and a failure that
// libFuzzer records as a crash with the reason on standard error.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzzing {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

[[noreturn]] inline void invariantBroken(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);  // NOLINT(cert-err33-c): dying anyway
  std::abort();
}

inline void require(bool condition, const char* what) {
  if (!condition) {
    invariantBroken(what);
  }
}

}  // namespace fuzzing
