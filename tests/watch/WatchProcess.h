#pragma once
// The built kestrune-watch running in the background, its standard output a
// pipe the test reads line by line (and can close, as a bar that exits).

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "json/Value.h"
#include "platform/FileDescriptor.h"

namespace kestrune::watch::testing {

class WatchProcess {
 public:
  WatchProcess(const std::vector<std::string>& arguments, const std::string& scratch);
  WatchProcess(const WatchProcess&) = delete;
  WatchProcess& operator=(const WatchProcess&) = delete;
  // Killed (SIGKILL) if still running.
  ~WatchProcess();

  // The next line of standard output, waiting up to 10 seconds; nothing when
  // the output ended or nothing came.
  std::optional<std::string> nextLine();
  // The next line as JSON; null when there is none or it does not parse.
  json::Value nextJSON();
  // The next JSON line whose "event" is `name`, skipping others.
  json::Value nextEvent(const std::string& name);

  // Closes the reading end of the output.
  void closeOutput();
  void signal(int number) const;
  // Waits up to 10 seconds for the process to end; its exit status, 128 +
  // signal, or -1 (then killed).
  int wait();
  std::string errorOutput() const;
  // Waits up to 10 seconds for standard error to hold `text`.
  bool waitForError(const std::string& text) const;

 private:
  std::string errPath_;
  platform::FileDescriptor output_;
  std::string pending_;
  bool ended_ = false;
  pid_t pid_ = -1;
};

}  // namespace kestrune::watch::testing
