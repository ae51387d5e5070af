// Rendering costs of the command-line program: character counting and the
// layout of large tables, and parsing a command line into its request.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "ArgumentParser/ArgumentParser.h"
#include "app/Characters.h"
#include "app/KestruneCLI.h"
#include "app/Render.h"
#include "app/RunRequest.h"

namespace {

using kestrune::CLIAppInfo;
using kestrune::CLIResponseData;

void BM_CharacterCountMixedText(benchmark::State& state) {
  const std::string text =
      "Caf\u00e9 Radio \U0001F469\u200D\U0001F469\u200D\U0001F467 \U0001F1EB\U0001F1F7 "
      "Zoe\u0308 Music \U0001F44D\U0001F3FD plain ascii text to pad it out";
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(kestrune::characterCount(text));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CharacterCountMixedText);

void BM_AppTable(benchmark::State& state) {
  std::vector<CLIAppInfo> apps;
  apps.reserve(static_cast<std::size_t>(state.range(0)));
  for (int i = 0; i < state.range(0); ++i) {
    apps.push_back({std::to_string(i), "App \u00e9 " + std::to_string(i), "com.example.app",
                    100.0 + i, i % 2 == 0, "UID-" + std::to_string(i), std::nullopt, "rock",
                    std::nullopt});
  }
  const CLIResponseData data{CLIResponseData::Apps{apps}};
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(kestrune::dataText(data, std::nullopt).size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AppTable)->Arg(10)->Arg(1000);

void BM_ParseCommandLineToRequest(benchmark::State& state) {
  const std::vector<std::string> arguments = {"app", "volume", "Music", "150", "--json"};
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    auto leaf = argparse::parseAsRoot<kestrune::KestruneCLI>(arguments);
    auto* request = dynamic_cast<kestrune::RequestCommand*>(leaf.get());
    benchmark::DoNotOptimize(request->request());
  }
}
BENCHMARK(BM_ParseCommandLineToRequest);

}  // namespace
