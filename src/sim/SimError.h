#pragma once

#include <exception>
#include <string>

namespace kestrune::sim {

// A failure of kestrune-sim's own that stops it from starting or running
// (the server's failures are ServerErrors). The kind
// chooses the exit status; the description is what the user reads.
class SimError : public std::exception {
 public:
  enum class Kind {
    usage,      // bad command line
    stateFile,  // the state file cannot be read, understood or written
  };

  SimError(Kind kind, std::string description)
      : kind_(kind), description_(std::move(description)) {}

  Kind kind() const noexcept { return kind_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  Kind kind_;
  std::string description_;
};

}  // namespace kestrune::sim
