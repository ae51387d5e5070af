#pragma once
// Tells when files of one directory change without waking while nothing
// does: a thread of its own blocks in poll() on inotify and a stop pipe.
// The directory need not exist: until it does, its nearest existing
// ancestor is watched, and the watch moves down as directories appear (and
// back up when the directory goes). When inotify cannot be used, the files
// are looked at every second instead.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileDescriptor.h"

namespace platform {

class FileWatch {
 public:
  using Changed = std::function<void()>;
  using Log = std::function<void(const std::string&)>;
  // How often the files are looked at when they cannot be watched.
  static constexpr std::chrono::milliseconds fallbackPeriod{1000};

  // Calls `changed` on the watch's thread whenever one of `names` in
  // `directory` (any entry, when `names` is empty) is written and closed,
  // created, renamed into or out of place, or removed, and when the
  // directory itself appears or goes; a burst of changes may be one call.
  // `changed` must not throw. `log` hears once, from any thread, why the
  // files are looked at every fallbackPeriod instead.
  FileWatch(std::string directory, std::vector<std::string> names, Changed changed, Log log);
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;
  // Stops the thread at once, whatever it is waiting for.
  ~FileWatch();

  // Whether the files are looked at every fallbackPeriod instead of watched.
  bool polling() const { return polling_.load(); }

 private:
  // `problem`: why inotify cannot be used from the start.
  void run(std::string problem);
  // Waits on inotify until stopped (true) or until it cannot go on (false,
  // with `problem` saying why).
  bool watch(std::string& problem);
  // Reads the events waiting; whether one concerns the files, and whether
  // the watch has to be placed again.
  bool readEvents(bool& relevant, bool& replace, std::string& problem);
  bool concerns(std::uint32_t mask, const char* name) const;
  // Watches the directory, or its nearest existing ancestor; why not, if
  // it cannot.
  std::string place();
  // Says why, once.
  void fallBack(const std::string& problem);
  // Reports a change at once, then each change seen every fallbackPeriod.
  void lookEveryPeriod();

  std::string directory_;
  std::vector<std::string> names_;
  Changed changed_;
  Log log_;
  std::atomic<bool> polling_{false};
  FileDescriptor inotify_;
  int watch_ = -1;
  bool atDirectory_ = false;  // the watch is on the directory, not an ancestor
  // Closing the write end wakes the thread's poll() (POLLHUP).
  FileDescriptor stopReadEnd_;
  FileDescriptor stopWriteEnd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;  // last: it uses everything above
};

}  // namespace platform
