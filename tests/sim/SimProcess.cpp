#include "SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kestrune::sim::testing {

namespace {

using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& outPath, const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (auto& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int result = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    throw std::runtime_error("could not start " + program);
  }
  return pid;
}

// The status of a process that ends within the limit; -1 (and the process
// killed) otherwise.
int awaitExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(5ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

Finished runToEnd(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& scratch) {
  const std::string outPath = scratch + "/run.out";
  const std::string errPath = scratch + "/run.err";
  const pid_t pid = spawn(program, arguments, outPath, errPath);
  Finished finished;
  finished.status = awaitExit(pid, 20s);
  finished.out = readFile(outPath);
  finished.err = readFile(errPath);
  return finished;
}

SimProcess::SimProcess(const std::vector<std::string>& arguments, const std::string& scratch)
    : errPath_(scratch + "/sim-" + std::to_string(::getpid()) + "-" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
               ".err") {
  pid_ = spawn(KESTRUNE_SIM_BINARY, arguments, "/dev/null", errPath_);
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool SimProcess::waitForError(const std::string& text) const {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (errorOutput().find(text) != std::string::npos) {
      return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

std::string SimProcess::errorOutput() const {
  return readFile(errPath_);
}

void SimProcess::signal(int number) const {
  ::kill(pid_, number);
}

int SimProcess::wait() {
  const int status = awaitExit(pid_, 10s);
  pid_ = -1;
  return status;
}

}  // namespace kestrune::sim::testing
