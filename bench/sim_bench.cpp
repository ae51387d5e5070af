// kestrune-sim under load: eight clients at once doing framed getVolume
// exchanges, one connection per exchange as the command-line tool makes
// them, against the real kestrune-sim process built beside this benchmark.
// Reports exchanges per second and the server's resident memory afterwards.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "client/CLIClient.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves it undeclared

namespace {

std::string besideThisProgram(const std::string& name) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

// One kestrune-sim for the whole run, on a socket in a fresh directory.
class RunningSim {
 public:
  RunningSim() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-bench-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    directory_ = pattern;
    socketPath_ = directory_ + "/cli.sock";
    std::string program = besideThisProgram("kestrune-sim");
    std::vector<std::string> words{program, "--socket", socketPath_};
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) {
      argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int result =
        ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
      throw std::runtime_error("could not start " + program);
    }
    // The socket file appears once the server accepts connections.
    for (int i = 0; i < 1000 && !std::filesystem::exists(socketPath_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  RunningSim(const RunningSim&) = delete;
  RunningSim& operator=(const RunningSim&) = delete;
  ~RunningSim() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  const std::string& socketPath() const { return socketPath_; }

  // VmRSS from /proc/<pid>/status, in kB.
  double residentKilobytes() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmRSS:", 0) == 0) {
        return std::stod(line.substr(6));
      }
    }
    return 0;
  }

 private:
  std::string directory_;
  std::string socketPath_;
  pid_t pid_ = -1;
};

RunningSim& sim() {
  static RunningSim instance;
  return instance;
}

// One exchange with plain system calls, so that the server dominates.
bool exchangeGetVolume(const std::string& path) {
  static constexpr char frame[] = "\0\0\0\x10{\"getVolume\":{}}";
  static constexpr std::string_view request(frame, sizeof frame - 1);  // 4 + 16 bytes
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) {
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size());
  // Like the command-line tool: read the framed reply, then close at once.
  std::array<unsigned char, 256> reply{};
  std::size_t received = 0;
  std::size_t expected = 4;
  while (ok && received < expected) {
    const ssize_t n = ::recv(fd, reply.data() + received, reply.size() - received, 0);
    if (n <= 0) {
      ok = false;
      break;
    }
    received += static_cast<std::size_t>(n);
    if (received >= 4) {
      const std::size_t length = (std::size_t{reply[0]} << 24) | (std::size_t{reply[1]} << 16) |
                                 (std::size_t{reply[2]} << 8) | std::size_t{reply[3]};
      expected = 4 + length;
      ok = expected <= reply.size();
    }
  }
  ::close(fd);
  return ok;
}

void BM_SimGetVolumeExchanges(benchmark::State& state) {
  const std::string& path = sim().socketPath();
  std::int64_t failures = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    if (!exchangeGetVolume(path)) {
      ++failures;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["failures"] = benchmark::Counter(static_cast<double>(failures));
  if (state.thread_index() == 0) {
    state.counters["sim_VmRSS_kB"] = sim().residentKilobytes();
  }
}
BENCHMARK(BM_SimGetVolumeExchanges)->Threads(8)->UseRealTime()->MinTime(2.0);

// The same load through the command-line tool's own client code.
void BM_SimGetVolumeWithCLIClient(benchmark::State& state) {
  const std::string& path = sim().socketPath();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    auto response =
        kestrune::CLIClient(path).send(kestrune::CLICommand{kestrune::CLICommand::GetVolume{}});
    benchmark::DoNotOptimize(response);
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    state.counters["sim_VmRSS_kB"] = sim().residentKilobytes();
  }
}
BENCHMARK(BM_SimGetVolumeWithCLIClient)->Threads(8)->UseRealTime()->MinTime(2.0);

}  // namespace
