// In-process cost of the command-line framework: parsing a typical leaf
// command line and rendering the root help screen of a tree of 12 groups.

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "ArgumentParser/ArgumentParser.h"
#include "ArgumentParser/HelpGenerator.h"
#include "ArgumentParser/Tree.h"

namespace {

struct Common : argparse::ParsableArguments {
  argparse::Flag json{this, "json", {.help = {"Output raw JSON for scripting."}}};
  argparse::Option<std::optional<std::string>> socket{
      this, "socket", {.help = {"Custom socket path (default: auto-detected)."}}};
};

template <int N>
struct Group : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration() {
    return {.commandName = "group" + std::to_string(N),
            .abstract = "Commands of group number " + std::to_string(N),
            .subcommands = {argparse::command<Get>(), argparse::command<Set>()},
            .defaultSubcommand = argparse::command<Get>()};
  }
  struct Get : argparse::ParsableCommand {
    static argparse::CommandConfiguration configuration() { return {.abstract = "Get it"}; }
    argparse::OptionGroup<Common> options{this, "options"};
    void run() override {}
  };
  struct Set : argparse::ParsableCommand {
    static argparse::CommandConfiguration configuration() { return {.abstract = "Set it"}; }
    argparse::Argument<double> level{this, "level", {.help = {"Volume level (0-100)."}}};
    argparse::OptionGroup<Common> options{this, "options"};
    void run() override {}
  };
};

struct Root : argparse::ParsableCommand {
  static argparse::CommandConfiguration configuration() {
    using argparse::command;
    return {.commandName = "bench",
            .abstract = "Control the benchmark from the command line",
            .version = "1.0.0",
            .subcommands = {command<Group<1>>(), command<Group<2>>(), command<Group<3>>(),
                            command<Group<4>>(), command<Group<5>>(), command<Group<6>>(),
                            command<Group<7>>(), command<Group<8>>(), command<Group<9>>(),
                            command<Group<10>>(), command<Group<11>>(), command<Group<12>>()}};
  }
};

void BM_ParseLeafCommandLine(benchmark::State& state) {
  const std::vector<std::string> arguments{"group7", "set", "40", "--json"};
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    auto command = argparse::parseAsRoot<Root>(arguments);
    benchmark::DoNotOptimize(command);
  }
}
BENCHMARK(BM_ParseLeafCommandLine);

void BM_RenderRootHelp(benchmark::State& state) {
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    std::string help = argparse::helpMessage(argparse::command<Root>(), nullptr, false, 80);
    benchmark::DoNotOptimize(help);
  }
}
BENCHMARK(BM_RenderRootHelp);

}  // namespace
