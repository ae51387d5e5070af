#include "daemon/panel/Launch.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/FileDescriptor.h"

namespace kestrune::daemon::panel {

namespace {

bool isExecutableFile(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string inDirectory(std::string directory, const std::string& name) {
  directory += '/';
  directory += name;
  return directory;
}

// What a child reports through the pipe when it fails; a successful exec
// closes the pipe instead.
struct Report {
  LaunchFailure::Step step;
  int error;
};

[[noreturn]] void fail(int report, LaunchFailure::Step step) {
  const Report failed{step, errno};
  static_cast<void>(::write(report, &failed, sizeof failed));
  _exit(127);
}

// What the grandchild does between fork and exec: only calls that are safe
// after forking a threaded process.
[[noreturn]] void becomeProgram(const char* program, char* const* argv, int nullInput, int report) {
  // The daemon blocks or ignores signals for its own shutdown; a blocked or
  // ignored signal would survive exec.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &standard, nullptr);
  sigaction(SIGINT, &standard, nullptr);
  sigaction(SIGTERM, &standard, nullptr);
  if (::dup2(nullInput, STDIN_FILENO) < 0) {
    fail(report, LaunchFailure::Step::openNullDevice);
  }
  // Nothing of the daemon's (its socket, its bus connections) reaches the panel.
  ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
  ::execv(program, argv);
  fail(report, LaunchFailure::Step::execute);
}

// What the children reported: nothing (end of file) once the program has
// been executed.
std::optional<LaunchFailure> reported(int report) {
  Report failed{};
  for (;;) {
    const ssize_t n = ::read(report, &failed, sizeof failed);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n != static_cast<ssize_t>(sizeof failed)) {
      return std::nullopt;
    }
    return LaunchFailure{failed.step, failed.error};
  }
}

void reap(pid_t child) {
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

std::string LaunchFailure::describe() const {
  const char* what = "";
  switch (step) {
    case Step::openNullDevice:
      what = "cannot open /dev/null";
      break;
    case Step::makePipe:
      what = "cannot make a pipe";
      break;
    case Step::fork:
      what = "cannot fork";
      break;
    case Step::execute:
      what = "cannot execute it";
      break;
  }
  return std::string(what) + ": " + std::strerror(error);
}

std::optional<std::string> findBesideOrOnPath(const std::string& name, const std::string& self,
                                              const std::string& searchPath) {
  if (!self.empty()) {
    if (std::string beside = inDirectory(directoryOf(self), name); isExecutableFile(beside)) {
      return beside;
    }
  }
  std::string_view rest(searchPath);
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::string directory(rest.substr(0, colon));
    if (std::string found = inDirectory(directory, name);
        !directory.empty() && isExecutableFile(found)) {
      return found;
    }
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  }
  return std::nullopt;
}

std::string ownExecutable() {
  std::string buffer(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return length > 0 ? buffer.substr(0, static_cast<std::size_t>(length)) : std::string();
}

std::optional<LaunchFailure> launchDetached(const std::string& program,
                                            const std::vector<std::string>& arguments) {
  // Everything the children need is made before forking.
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const platform::FileDescriptor nullInput(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!nullInput) {
    return LaunchFailure{LaunchFailure::Step::openNullDevice, errno};
  }
  int ends[2] = {-1, -1};
  if (::pipe2(ends, O_CLOEXEC) < 0) {
    return LaunchFailure{LaunchFailure::Step::makePipe, errno};
  }
  const platform::FileDescriptor readEnd(ends[0]);
  platform::FileDescriptor writeEnd(ends[1]);

  const pid_t child = ::fork();
  if (child < 0) {
    return LaunchFailure{LaunchFailure::Step::fork, errno};
  }
  if (child == 0) {
    // The intermediate child: a new session, then a grandchild that init
    // (or the user manager) adopts when this one exits at once.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      becomeProgram(program.c_str(), argv.data(), nullInput.get(), writeEnd.get());
    }
    if (grandchild < 0) {
      fail(writeEnd.get(), LaunchFailure::Step::fork);
    }
    _exit(0);
  }
  writeEnd.reset();
  reap(child);
  return reported(readEnd.get());
}

}  // namespace kestrune::daemon::panel
