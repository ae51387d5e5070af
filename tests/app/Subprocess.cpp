#include "Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace kestrune::testing {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = fd;
  }

 private:
  int fd_;
};

struct Pipe {
  Descriptor read;
  Descriptor write;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      fail("pipe");
    }
    read.reset(fds[0]);
    write.reset(fds[1]);
  }
};

// The environment of this process with the overrides applied.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
  std::map<std::string, std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    entries[text.substr(0, text.find('='))] = text;
  }
  for (const auto& text : overrides) {
    entries[text.substr(0, text.find('='))] = text;
  }
  std::vector<std::string> merged;
  merged.reserve(entries.size());
  for (auto& [name, text] : entries) {
    merged.push_back(std::move(text));
  }
  return merged;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  result.reserve(strings.size() + 1);
  for (auto& s : strings) {
    result.push_back(s.data());
  }
  result.push_back(nullptr);
  return result;
}

class SpawnActions {
 public:
  SpawnActions() {
    if (::posix_spawn_file_actions_init(&actions_) != 0) {
      fail("posix_spawn_file_actions_init");
    }
  }
  ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;

  void redirect(int fd, int target) {
    if (::posix_spawn_file_actions_adddup2(&actions_, fd, target) != 0) {
      fail("posix_spawn_file_actions_adddup2");
    }
  }
  void openNull(int target) {
    if (::posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_RDWR, 0) != 0) {
      fail("posix_spawn_file_actions_addopen");
    }
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, const SpawnActions& actions) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<std::string> envp = mergedEnvironment(environment);
  auto argvPointers = pointers(argv);
  auto envPointers = pointers(envp);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, program.c_str(), actions.get(), nullptr,
                                  argvPointers.data(), envPointers.data());
  if (error != 0) {
    errno = error;
    fail("posix_spawn " + program);
  }
  return pid;
}

int waitStatus(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      fail("waitpid");
    }
  }
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  return 128 + WTERMSIG(status);
}

// Reads both pipes to their end, or until the deadline passes.
bool drain(int outFd, int errFd, std::string& out, std::string& err,
           std::chrono::steady_clock::time_point deadline) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) {
      fail("poll");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  return true;
}

bool acceptsConnections(const std::string& path) {
  Descriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) {
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, int timeoutSeconds) {
  Pipe out;
  Pipe err;
  SpawnActions actions;
  actions.openNull(0);
  actions.redirect(out.write.get(), 1);
  actions.redirect(err.write.get(), 2);
  const pid_t pid = spawn(program, arguments, environment, actions);
  out.write.reset();
  err.write.reset();
  ProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  if (!drain(out.read.get(), err.read.get(), result.out, result.err, deadline)) {
    ::kill(pid, SIGKILL);
  }
  result.status = waitStatus(pid);
  return result;
}

SimServer::SimServer() {
  std::string pattern = "/tmp/kestrune-sim-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    fail("mkdtemp");
  }
  directory_ = pattern;
  socketPath_ = directory_ + "/cli.sock";
  SpawnActions actions;
  actions.openNull(0);
  actions.openNull(1);
  actions.openNull(2);
  pid_ = spawn(KESTRUNE_SIM_BINARY, {"--socket", socketPath_}, {}, actions);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!acceptsConnections(socketPath_)) {
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("kestrune-sim did not start listening on " + socketPath_);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

SimServer::~SimServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    try {
      (void)waitStatus(pid_);
    } catch (const std::exception&) {
      // Nothing more can be done about a child that cannot be reaped.
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

}  // namespace kestrune::testing
