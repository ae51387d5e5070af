#include "Subprocess.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "support/Process.h"

namespace kestrune::testing {
namespace {

using namespace std::chrono_literals;

bool acceptsConnections(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, int timeoutSeconds) {
  const TempDirectory outputs;
  test_process::Command command{program, arguments, environment, outputs.path() + "/out",
                                outputs.path() + "/err"};
  command.appendErrors = false;
  const pid_t pid = test_process::spawn(command);
  const auto status = test_process::waitForExit(pid, std::chrono::seconds(timeoutSeconds));
  ProcessResult result;
  if (status) {
    result.status = *status;
  } else {
    test_process::waitOrKill(pid, 0ms);
    result.status = 128 + SIGKILL;
  }
  result.out = test_process::readFile(command.outPath);
  result.err = test_process::readFile(command.errPath);
  return result;
}

SimServer::SimServer(const std::string& state) : socketPath_(directory_ / "cli.sock") {
  test_process::Command sim;
  sim.program = KESTRUNE_SIM_BINARY;
  sim.arguments = {"--socket", socketPath_};
  if (!state.empty()) {
    sim.arguments.insert(sim.arguments.end(), {"--state", directory_.write("state.json", state)});
  }
  pid_ = test_process::spawn(sim);
  if (!test_process::waitUntil([&] { return acceptsConnections(socketPath_); }, 10s)) {
    test_process::stop(pid_, 2s);
    throw std::runtime_error("kestrune-sim did not start listening on " + socketPath_);
  }
}

SimServer::~SimServer() {
  test_process::stop(pid_, 5s);
}

}  // namespace kestrune::testing
