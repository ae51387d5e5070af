// Cost of the help dump and of the completion scripts for the program's own
// tree, in process, and the whole-process cost of a completion callback as a
// shell makes it.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/CompletionsGenerator.h"
#include "ArgumentParser/ToolInfo.h"
#include "app/KestruneCLI.h"

extern char** environ;

namespace {

std::string dumpText() {
  return argparse::execute<kestrune::KestruneCLI>({"--experimental-dump-help"}).out;
}

void BM_HelpDump(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(dumpText());
}
BENCHMARK(BM_HelpDump)->Unit(benchmark::kMicrosecond);

void BM_DecodeDump(benchmark::State& state) {
  std::string text = dumpText();
  for (auto _ : state)
    benchmark::DoNotOptimize(argparse::parseToolInfoV0(text));
}
BENCHMARK(BM_DecodeDump)->Unit(benchmark::kMicrosecond);

void BM_ScriptFromDump(benchmark::State& state) {
  argparse::ToolInfoV0 dump = argparse::parseToolInfoV0(dumpText());
  auto shell = static_cast<argparse::CompletionShell>(state.range(0));
  state.SetLabel(std::string(argparse::rawValue(shell)));
  for (auto _ : state)
    benchmark::DoNotOptimize(argparse::completionScript(dump, shell));
}
BENCHMARK(BM_ScriptFromDump)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// What `completions <shell>` does in process: the dump of the tree, then the script.
void BM_ScriptFromTree(benchmark::State& state) {
  auto shell = static_cast<argparse::CompletionShell>(state.range(0));
  state.SetLabel(std::string(argparse::rawValue(shell)));
  for (auto _ : state)
    benchmark::DoNotOptimize(argparse::completionScript<kestrune::KestruneCLI>(shell));
}
BENCHMARK(BM_ScriptFromTree)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// Runs the built program (beside this benchmark) with its output discarded.
int runProgram(const std::vector<std::string>& arguments) {
  static const std::string program =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kestrune").string();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  int status = -1;
  if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    waitpid(child, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return status;
}

// The callback a script makes while the user presses Tab.
void BM_CompletionCallbackProcess(benchmark::State& state) {
  std::vector<std::string> arguments = {"---completion", "app",  "mute", "--",
                                        "positional@0",  "3",    "0",    "kestrune",
                                        "app",           "mute", ""};
  for (auto _ : state) {
    if (runProgram(arguments) != 0)
      state.SkipWithError("the program failed");
  }
}
BENCHMARK(BM_CompletionCallbackProcess)->Unit(benchmark::kMillisecond);

void BM_GenerateScriptProcess(benchmark::State& state) {
  for (auto _ : state) {
    if (runProgram({"completions", "zsh"}) != 0)
      state.SkipWithError("the program failed");
  }
}
BENCHMARK(BM_GenerateScriptProcess)->Unit(benchmark::kMillisecond);

}  // namespace
