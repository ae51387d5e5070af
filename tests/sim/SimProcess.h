#pragma once
// Running the built kestrune-sim and kestrune programs from tests.

#include <sys/types.h>

#include <string>
#include <vector>

namespace kestrune::sim::testing {

struct Finished {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs a program to completion with standard input closed; output is
// captured through files in `scratch`. Killed after 20 seconds.
Finished runToEnd(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& scratch);

// kestrune-sim running in the background; killed (SIGKILL) if still running
// when dropped.
class SimProcess {
 public:
  SimProcess(const std::vector<std::string>& arguments, const std::string& scratch);
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;
  ~SimProcess();

  // Waits up to 10 seconds for standard error to hold `text`.
  bool waitForError(const std::string& text) const;
  std::string errorOutput() const;
  void signal(int number) const;
  // Waits up to 10 seconds for the process to end; its status as in Finished.
  int wait();

 private:
  std::string errPath_;
  pid_t pid_ = -1;
};

}  // namespace kestrune::sim::testing
