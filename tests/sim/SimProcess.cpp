#include "SimProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/Process.h"

namespace kestrune::sim::testing {

namespace {

using namespace std::chrono_literals;
using test_process::readFile;

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& outPath, const std::string& errPath) {
  test_process::Command command;
  command.program = program;
  command.arguments = arguments;
  command.outPath = outPath;
  command.errPath = errPath;
  command.appendErrors = false;
  return test_process::spawn(command);
}

}  // namespace

Finished runToEnd(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& scratch) {
  const std::string outPath = scratch + "/run.out";
  const std::string errPath = scratch + "/run.err";
  const pid_t pid = spawn(program, arguments, outPath, errPath);
  Finished finished;
  finished.status = test_process::waitOrKill(pid, 20s);
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
  return test_process::waitUntil([&] { return errorOutput().find(text) != std::string::npos; }, 10s,
                                 5ms);
}

std::string SimProcess::errorOutput() const {
  return readFile(errPath_);
}

void SimProcess::signal(int number) const {
  ::kill(pid_, number);
}

int SimProcess::wait() {
  const int status = test_process::waitOrKill(pid_, 10s);
  pid_ = -1;
  return status;
}

}  // namespace kestrune::sim::testing
