#pragma once
// Real D-Bus peers for tests: a private bus daemon, programs started on it
// and stopped by process id, and one-shot commands (playerctl, busctl) run
// against it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrune::testing {

// A fresh directory under /tmp, removed with everything in it.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = "/tmp/kestrune-dbus-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct CommandResult {
  std::string out;
  int status = -1;
};

namespace detail {

inline std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& text : strings) {
    result.push_back(text.data());
  }
  result.push_back(nullptr);
  return result;
}

// Starts `argv` with `environment` added to this process's environment,
// standard input from /dev/null, standard output into `outFd` (or
// /dev/null) and standard error to /dev/null.
inline pid_t spawn(std::vector<std::string> argv, const std::vector<std::string>& environment,
                   int outFd) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    env.emplace_back(*entry);
  }
  for (const auto& added : environment) {
    const std::string key = added.substr(0, added.find('=') + 1);
    std::erase_if(env, [&](const std::string& existing) { return existing.rfind(key, 0) == 0; });
    env.push_back(added);
  }
  auto args = pointers(argv);
  auto envp = pointers(env);
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(outFd >= 0 ? outFd : null, 1);
    ::dup2(null, 2);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

inline int waitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace detail

// Runs a command to its end (killed after `timeout`), capturing its output.
inline CommandResult runCommand(const std::vector<std::string>& argv,
                                const std::vector<std::string>& environment = {},
                                std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = detail::spawn(argv, environment, fds[1]);
  ::close(fds[1]);
  CommandResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd readable{fds[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) {
      break;
    }
    result.out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = detail::waitStatus(status);
  return result;
}

inline std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// Polls `condition` until it holds or `timeout` passes.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A program running in the background until stop() or destruction, which
// terminate it by its process id.
class BackgroundProcess {
 public:
  BackgroundProcess() = default;
  BackgroundProcess(std::vector<std::string> argv, const std::vector<std::string>& environment,
                    int outFd = -1)
      : pid_(detail::spawn(std::move(argv), environment, outFd)) {}
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;
  BackgroundProcess(BackgroundProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  BackgroundProcess& operator=(BackgroundProcess&& other) noexcept {
    if (this != &other) {
      stop();
      pid_ = other.pid_;
      other.pid_ = -1;
    }
    return *this;
  }
  ~BackgroundProcess() { stop(); }

  pid_t pid() const { return pid_; }

  void stop() {
    if (pid_ <= 0) {
      return;
    }
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// A private bus: dbus-daemon on a socket in a scratch directory.
class PrivateBus {
 public:
  PrivateBus() { start(); }

  // Starts the bus daemon (again, after stop()) on the same socket.
  void start() {
    std::error_code ignored;
    std::filesystem::remove(directory_ / "bus", ignored);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    daemon_ = BackgroundProcess(
        {"/usr/bin/dbus-daemon", "--session", "--address=unix:path=" + directory_ / "bus",
         "--nofork", "--print-address"},
        {}, fds[1]);
    ::close(fds[1]);
    std::string printed;
    char buffer[512];
    pollfd readable{fds[0], POLLIN, 0};
    while (printed.find('\n') == std::string::npos && ::poll(&readable, 1, 5000) > 0) {
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n <= 0) {
        break;
      }
      printed.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    address_ = "unix:path=" + directory_ / "bus";
    if (trimmed(printed).empty()) {
      throw std::runtime_error("dbus-daemon did not start");
    }
  }

  const std::string& address() const { return address_; }
  const ScratchDirectory& directory() const { return directory_; }
  // The environment entry that points clients at this bus as their
  // session bus.
  std::string sessionEnvironment() const { return "DBUS_SESSION_BUS_ADDRESS=" + address_; }

  void stop() { daemon_.stop(); }

 private:
  ScratchDirectory directory_;
  BackgroundProcess daemon_;
  std::string address_;
};

}  // namespace kestrune::testing
