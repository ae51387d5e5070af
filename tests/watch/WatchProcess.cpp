#include "watch/WatchProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "json/Errors.h"

extern char** environ;

namespace kestrune::watch::testing {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto limit = 10s;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

WatchProcess::WatchProcess(const std::vector<std::string>& arguments, const std::string& scratch)
    : errPath_(scratch + "/watch-" + std::to_string(Clock::now().time_since_epoch().count()) +
               ".err") {
  std::array<int, 2> ends{};
  // Close-on-exec, so that no other program started by the test holds the
  // pipe open.
  if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("no pipe");
  }
  output_.reset(ends[0]);
  const platform::FileDescriptor writeEnd(ends[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
  posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<std::string> words{KESTRUNE_WATCH_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  const int result =
      ::posix_spawn(&pid_, KESTRUNE_WATCH_BINARY, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    pid_ = -1;
    throw std::runtime_error("could not start kestrune-watch");
  }
}

WatchProcess::~WatchProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

std::optional<std::string> WatchProcess::nextLine() {
  const auto deadline = Clock::now() + limit;
  while (true) {
    if (const auto newline = pending_.find('\n'); newline != std::string::npos) {
      std::string line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      return line;
    }
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (ended_ || !output_ || remaining.count() <= 0) {
      return std::nullopt;
    }
    pollfd readable{output_.get(), POLLIN, 0};
    if (::poll(&readable, 1, static_cast<int>(remaining.count())) <= 0) {
      continue;
    }
    std::array<char, 65536> chunk{};
    const ssize_t received = ::read(output_.get(), chunk.data(), chunk.size());
    if (received <= 0) {
      ended_ = true;
    } else {
      pending_.append(chunk.data(), static_cast<std::size_t>(received));
    }
  }
}

json::Value WatchProcess::nextJSON() {
  const auto line = nextLine();
  if (!line) {
    return {};
  }
  try {
    return json::parse(*line);
  } catch (const json::ParseError&) {
    return {};
  }
}

json::Value WatchProcess::nextEvent(const std::string& name) {
  while (true) {
    json::Value line = nextJSON();
    const json::Value* event = line.find("event");
    if (line.isNull() || (event != nullptr && event->isString() && event->asString() == name)) {
      return line;
    }
  }
}

void WatchProcess::closeOutput() {
  output_.reset();
}

void WatchProcess::signal(int number) const {
  ::kill(pid_, number);
}

int WatchProcess::wait() {
  const auto deadline = Clock::now() + limit;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(5ms);
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string WatchProcess::errorOutput() const {
  return readFile(errPath_);
}

bool WatchProcess::waitForError(const std::string& text) const {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (errorOutput().find(text) != std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

}  // namespace kestrune::watch::testing
