#include "platform/FileWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <utility>

#include "platform/ConfigFile.h"

namespace platform {

namespace {

constexpr std::uint32_t directoryEvents = IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM |
                                          IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// An ancestor only matters when the next directory down appears, or when
// it goes itself.
constexpr std::uint32_t ancestorEvents =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t watchGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string nearestExisting(std::string path) {
  while (!isDirectory(path) && path != "/" && path != ".") {
    path = parentOf(path);
  }
  return path;
}

std::string systemReason(const char* call) {
  return std::string(call) + " failed: " + std::strerror(errno);
}

std::string pathIn(const std::string& directory, const std::string& name) {
  std::string path = directory;
  path += '/';
  path += name;
  return path;
}

using Versions = std::map<std::string, std::optional<FileVersion>>;

// What the fallback compares: the version of each file of interest.
Versions versionsOf(const std::string& directory, const std::vector<std::string>& names) {
  Versions versions;
  if (!names.empty()) {
    for (const std::string& name : names) {
      versions[name] = versionOf(pathIn(directory, name));
    }
    return versions;
  }
  std::error_code unreadable;
  for (std::filesystem::directory_iterator entry(directory, unreadable), end;
       !unreadable && entry != end; entry.increment(unreadable)) {
    const std::string name = entry->path().filename().string();
    versions[name] = versionOf(pathIn(directory, name));
  }
  // The directory's own version tells it from an empty one that is absent.
  versions[""] = versionOf(directory);
  return versions;
}

}  // namespace

FileWatch::FileWatch(std::string directory, std::vector<std::string> names, Changed changed,
                     Log log)
    : directory_(withoutTrailingSlashes(std::move(directory))),
      names_(std::move(names)),
      changed_(std::move(changed)),
      log_(std::move(log)),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  std::string problem;
  std::array<int, 2> ends{-1, -1};
  if (!inotify_) {
    problem = systemReason("inotify_init1");
  } else if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
    problem = systemReason("pipe2");
  } else {
    // Before returning, so that no change after it goes unheard.
    problem = place();
  }
  stopReadEnd_.reset(ends[0]);
  stopWriteEnd_.reset(ends[1]);
  thread_ = std::thread([this, problem] { run(problem); });
}

FileWatch::~FileWatch() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  stopWriteEnd_.reset();
  thread_.join();
}

void FileWatch::run(std::string problem) {
  if (problem.empty() && watch(problem)) {
    return;
  }
  fallBack(problem);
  lookEveryPeriod();
}

bool FileWatch::watch(std::string& problem) {
  std::array<pollfd, 2> waiting{pollfd{inotify_.get(), POLLIN, 0},
                                pollfd{stopReadEnd_.get(), POLLIN, 0}};
  for (;;) {
    if (::poll(waiting.data(), waiting.size(), -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      problem = systemReason("poll");
      return false;
    }
    if (waiting[1].revents != 0) {
      return true;
    }
    bool relevant = false;
    bool replace = false;
    if (!readEvents(relevant, replace, problem)) {
      return false;
    }
    if (replace) {
      const bool wasAtDirectory = atDirectory_;
      problem = place();
      if (!problem.empty()) {
        return false;
      }
      // Arriving at the directory: its files may have been written before
      // the watch got there.
      relevant = relevant || (atDirectory_ && !wasAtDirectory);
    }
    if (relevant) {
      changed_();
    }
  }
}

bool FileWatch::readEvents(bool& relevant, bool& replace, std::string& problem) {
  alignas(inotify_event) std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t length = ::read(inotify_.get(), buffer.data(), buffer.size());
    if (length < 0) {
      if (errno == EAGAIN) {
        return true;
      }
      if (errno == EINTR) {
        continue;
      }
      problem = systemReason("read of inotify");
      return false;
    }
    for (ssize_t at = 0; at < length;) {
      inotify_event event{};
      std::memcpy(&event, buffer.data() + at, sizeof event);
      const char* name = event.len > 0 ? buffer.data() + at + sizeof event : "";
      at += static_cast<ssize_t>(sizeof event + event.len);
      if ((event.mask & IN_Q_OVERFLOW) != 0) {
        relevant = true;  // some were lost: any could have been ours
        replace = true;
      } else if (event.wd != watch_) {
        continue;  // from a watch given up already
      } else if ((event.mask & watchGone) != 0) {
        relevant = relevant || atDirectory_;
        replace = true;
      } else if (!atDirectory_) {
        replace = true;
      } else if (concerns(event.mask, name)) {
        relevant = true;
      }
    }
  }
}

bool FileWatch::concerns(std::uint32_t mask, const char* name) const {
  if ((mask & directoryEvents) == 0) {
    return false;
  }
  return names_.empty() || std::find(names_.begin(), names_.end(), name) != names_.end();
}

std::string FileWatch::place() {
  for (;;) {
    const std::string path = nearestExisting(directory_);
    const bool atDirectory = path == directory_;
    const int added = ::inotify_add_watch(inotify_.get(), path.c_str(),
                                          atDirectory ? directoryEvents : ancestorEvents);
    if (added < 0 && (errno == ENOENT || errno == ENOTDIR)) {
      continue;  // went meanwhile: look again
    }
    if (added < 0) {
      return systemReason("inotify_add_watch") + " on " + path;
    }
    if (watch_ >= 0 && watch_ != added) {
      // Fails only for a watch its directory already took away.
      (void)::inotify_rm_watch(inotify_.get(), watch_);
    }
    watch_ = added;
    atDirectory_ = atDirectory;
    // A directory further down that appeared before the watch was in
    // place would not be heard of.
    if (atDirectory || nearestExisting(directory_) == path) {
      return {};
    }
  }
}

void FileWatch::fallBack(const std::string& problem) {
  polling_ = true;
  log_("cannot watch " + directory_ + " (" + problem + "); looking at its files every second");
}

void FileWatch::lookEveryPeriod() {
  Versions seen = versionsOf(directory_, names_);
  // What changed since the last event is not known; what changes from now
  // on differs from `seen`.
  changed_();
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, fallbackPeriod, [this] { return stopping_; })) {
    lock.unlock();
    Versions now = versionsOf(directory_, names_);
    if (now != seen) {
      seen = std::move(now);
      changed_();
    }
    lock.lock();
  }
}

}  // namespace platform
