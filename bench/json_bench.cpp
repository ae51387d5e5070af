// Parsing, decoding and encoding speed of the largest replies the client
// accepts: an `apps` response of about 1 MiB.
//
// Set KESTRUNE_JSON_BENCH_OUTPUT to a file path to also write the document
// there, for comparison with other parsers.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "json/Value.h"
#include "protocol/Coding.h"

namespace {

using namespace kestrune;

constexpr std::size_t targetSize = 1 << 20;

// A small deterministic generator, so every run measures the same document.
class Sequence {
 public:
  std::uint32_t next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  std::string word(std::size_t minLength, std::size_t maxLength) {
    std::string text;
    const std::size_t length = minLength + next() % (maxLength - minLength + 1);
    for (std::size_t i = 0; i < length; ++i) {
      text += static_cast<char>('a' + next() % 26);
    }
    return text;
  }

 private:
  std::uint64_t state_ = 42;
};

CLIAppInfo makeApp(Sequence& random, std::size_t index) {
  CLIAppInfo app;
  app.id = std::to_string(10000 + index);
  app.name = random.word(4, 14) + " " + random.word(3, 10);
  if (random.next() % 4 != 0) {
    app.bundleID = "com." + random.word(4, 10) + "." + random.word(4, 12);
  }
  app.volume = static_cast<double>(random.next() % 20001) / 100.0;
  app.isMuted = random.next() % 5 == 0;
  if (random.next() % 2 == 0) {
    app.deviceUID =
        "AppleUSBAudioEngine:" + random.word(6, 12) + ":" + std::to_string(random.next());
    app.deviceName = random.word(5, 16) + " Speakers";
  }
  if (random.next() % 3 == 0) {
    app.eqPreset = random.word(4, 10);
  }
  if (random.next() % 2 == 0) {
    app.balance = static_cast<double>(static_cast<int>(random.next() % 201) - 100) / 100.0;
  }
  return app;
}

const CLIResponse& largeResponse() {
  static const CLIResponse response = [] {
    Sequence random;
    std::vector<CLIAppInfo> apps;
    std::size_t size = 0;
    // One app's share of the document: its text in a one-app reply, less
    // the envelope around it, plus the comma that separates it.
    const std::size_t envelope =
        std::string_view(R"({"success":true,"data":{"app":{"_0":}}})").size();
    while (size < targetSize) {
      apps.push_back(makeApp(random, apps.size()));
      const CLIResponse one{true, CLIResponseData{CLIResponseData::App{apps.back()}}, {}, {}};
      size += encodeCompact(one).size() - envelope + 1;
    }
    return CLIResponse{true, CLIResponseData{CLIResponseData::Apps{std::move(apps)}}, {}, {}};
  }();
  return response;
}

const std::string& largeText() {
  static const std::string text = [] {
    std::string encoded = encodeCompact(largeResponse());
    if (const char* path = std::getenv("KESTRUNE_JSON_BENCH_OUTPUT")) {
      std::ofstream(path, std::ios::binary) << encoded;
    }
    return encoded;
  }();
  return text;
}

void BM_ParseLargeResponse(benchmark::State& state) {
  const std::string& text = largeText();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(json::parse(text));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseLargeResponse)->Unit(benchmark::kMillisecond);

void BM_DecodeLargeResponse(benchmark::State& state) {
  const std::string& text = largeText();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(decodeCLIResponse(std::string_view(text)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeLargeResponse)->Unit(benchmark::kMillisecond);

void BM_EncodeCompactLargeResponse(benchmark::State& state) {
  const CLIResponse& response = largeResponse();
  const std::size_t size = largeText().size();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(encodeCompact(response));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_EncodeCompactLargeResponse)->Unit(benchmark::kMillisecond);

void BM_EncodePrettySortedLargeResponse(benchmark::State& state) {
  const CLIResponse& response = largeResponse();
  std::size_t size = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    const std::string text = encodePrettySorted(response);
    size = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_EncodePrettySortedLargeResponse)->Unit(benchmark::kMillisecond);

void BM_DecodeRequest(benchmark::State& state) {
  const std::string text = R"({"setAppVolume":{"appID":"com.example.music","percent":75}})";
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    benchmark::DoNotOptimize(decodeCLICommand(std::string_view(text)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeRequest);

}  // namespace
