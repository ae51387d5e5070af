#pragma once

#include <exception>
#include <string>

namespace kestrune::server {

// A failure that stops a server from starting or running. The kind chooses
// the exit status; the description is what the user reads.
class ServerError : public std::exception {
 public:
  enum class Kind {
    alreadyRunning,  // another instance answers on the socket path
    socketSetup,     // the socket path or the socket itself cannot be set up
  };

  ServerError(Kind kind, std::string description)
      : kind_(kind), description_(std::move(description)) {}

  Kind kind() const noexcept { return kind_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  Kind kind_;
  std::string description_;
};

}  // namespace kestrune::server
