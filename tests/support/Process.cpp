#include "support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

extern char** environ;

namespace kestrune::test_process {

namespace {

using namespace std::chrono_literals;

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    merged[text.substr(0, text.find('='))] = text;
  }
  for (const auto& text : extra) {
    merged[text.substr(0, text.find('='))] = text;
  }
  std::vector<std::string> result;
  result.reserve(merged.size());
  for (auto& [name, text] : merged) {
    result.push_back(std::move(text));
  }
  return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  pointers.reserve(words.size() + 1);
  for (auto& word : words) {
    pointers.push_back(word.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

// posix_spawn's file actions, destroyed with it.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
};

int statusOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

pid_t spawn(const Command& command) {
  FileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (command.outDescriptor >= 0) {
    posix_spawn_file_actions_adddup2(actions.get(), command.outDescriptor, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, command.outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, command.errPath.c_str(),
                                   O_WRONLY | O_CREAT | (command.appendErrors ? O_APPEND : O_TRUNC),
                                   0600);
  std::vector<std::string> words{command.program};
  words.insert(words.end(), command.arguments.begin(), command.arguments.end());
  std::vector<std::string> variables = mergedEnvironment(command.environment);
  auto argv = pointersTo(words);
  auto envp = pointersTo(variables);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, command.program.c_str(), actions.get(), nullptr, argv.data(),
                     envp.data()) != 0) {
    throw std::runtime_error("could not start " + command.program);
  }
  return pid;
}

std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds limit) {
  int status = 0;
  const bool ended = waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit, 5ms);
  return ended ? std::optional(statusOf(status)) : std::nullopt;
}

int waitOrKill(pid_t pid, std::chrono::milliseconds limit) {
  if (const auto status = waitForExit(pid, limit)) {
    return *status;
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return -1;
}

int stop(pid_t pid, std::chrono::milliseconds grace) {
  ::kill(pid, SIGTERM);
  return waitOrKill(pid, grace);
}

bool running(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == 0;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kestrune::test_process
