#pragma once

#include <stdexcept>
#include <string>

namespace kestrune::daemon {

// A request that cannot be carried out, with the reason the user reads.
class RequestFailure : public std::runtime_error {
 public:
  explicit RequestFailure(const std::string& reason) : std::runtime_error(reason) {}
};

}  // namespace kestrune::daemon
