// Cost of the equaliser: filtering a stereo stream, as the sound server runs
// the plugin (blocks of frames), on music-like noise and on silence after a
// loud burst (where subnormal numbers would show), and redesigning the
// filters when a preset changes; the same for a parametric preset of twenty
// filters.
//
// "core%@48k" is the share of one core that one 48 kHz stereo stream takes.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "eq/FilterDesign.h"
#include "eq/Parametric.h"
#include "eq/Presets.h"
#include "eq/StereoEqualizer.h"

namespace {

using namespace kestrune::eq;

std::vector<float> noise(std::size_t frames, std::uint32_t seed) {
  std::vector<float> samples(frames);
  for (float& sample : samples) {
    seed = seed * 1664525U + 1013904223U;
    sample = static_cast<float>(static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 0.5F;
  }
  return samples;
}

void reportPerFrame(benchmark::State& state, std::size_t frames) {
  const auto processed = static_cast<double>(state.iterations() * frames);
  state.SetItemsProcessed(static_cast<std::int64_t>(processed));
  // elapsed / (frames / 4.8e6) = percent of a core for 48,000 frames a second
  state.counters["core%@48k"] = benchmark::Counter(
      processed / (48000.0 * 100.0), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["ns/frame"] = benchmark::Counter(
      processed / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ProcessMusic(benchmark::State& state) {
  const auto frames = static_cast<std::size_t>(state.range(0));
  StereoEqualizer eq(48000);
  eq.setGains(builtInCatalog().find("loudness")->gains);
  const std::vector<float> left = noise(frames, 1);
  const std::vector<float> right = noise(frames, 2);
  std::vector<float> outLeft(frames);
  std::vector<float> outRight(frames);
  for (auto _ : state) {
    eq.process(left.data(), right.data(), outLeft.data(), outRight.data(), frames);
    benchmark::DoNotOptimize(outLeft.data());
    benchmark::ClobberMemory();
  }
  reportPerFrame(state, frames);
}
BENCHMARK(BM_ProcessMusic)->Arg(256)->Arg(1024)->Arg(4096);

// A loud click, then three seconds of silence while the filters ring down:
// the stretch where their memory would pass through subnormal numbers.
void BM_ProcessSilenceAfterBurst(benchmark::State& state) {
  const auto frames = static_cast<std::size_t>(state.range(0));
  const std::size_t blocks = 3 * 48000 / frames;
  StereoEqualizer eq(48000);
  eq.setGains(builtInCatalog().find("loudness")->gains);
  std::vector<float> burst(frames, 0.0F);
  burst[0] = 1.0F;
  const std::vector<float> silence(frames, 0.0F);
  std::vector<float> left(frames);
  std::vector<float> right(frames);
  for (auto _ : state) {
    eq.reset();
    eq.process(burst.data(), burst.data(), left.data(), right.data(), frames);
    for (std::size_t block = 1; block < blocks; ++block) {
      eq.process(silence.data(), silence.data(), left.data(), right.data(), frames);
      benchmark::DoNotOptimize(left.data());
      benchmark::ClobberMemory();
    }
  }
  reportPerFrame(state, blocks * frames);
}
BENCHMARK(BM_ProcessSilenceAfterBurst)->Arg(1024);

void BM_ProcessFlat(benchmark::State& state) {
  const auto frames = static_cast<std::size_t>(state.range(0));
  StereoEqualizer eq(48000);
  eq.setGains(builtInCatalog().find("flat")->gains);
  const std::vector<float> left = noise(frames, 1);
  const std::vector<float> right = noise(frames, 2);
  std::vector<float> outLeft(frames);
  std::vector<float> outRight(frames);
  for (auto _ : state) {
    eq.process(left.data(), right.data(), outLeft.data(), outRight.data(), frames);
    benchmark::DoNotOptimize(outLeft.data());
    benchmark::ClobberMemory();
  }
  reportPerFrame(state, frames);
}
BENCHMARK(BM_ProcessFlat)->Arg(1024);

// A parametric preset of twenty filters (a long headphone correction),
// beside the ten bands above.
Parametric twentyFilters() {
  Parametric preset{-7.5, {}};
  for (std::size_t k = 0; k < maxFilters; ++k) {
    const auto type = k == 0                ? FilterType::lowShelf
                      : k == maxFilters - 1 ? FilterType::highShelf
                                            : FilterType::peaking;
    preset.filters.push_back({type, 20.0 * std::exp2(static_cast<double>(k) / 2),
                              k % 2 ? -3.0 : 4.5, 0.7 + 0.2 * static_cast<double>(k % 5)});
  }
  return preset;
}

void BM_ProcessParametric20(benchmark::State& state) {
  const auto frames = static_cast<std::size_t>(state.range(0));
  ParametricEqualizer eq(48000);
  eq.setPreset(twentyFilters());
  const std::vector<float> left = noise(frames, 1);
  const std::vector<float> right = noise(frames, 2);
  std::vector<float> outLeft(frames);
  std::vector<float> outRight(frames);
  for (auto _ : state) {
    eq.process(left.data(), right.data(), outLeft.data(), outRight.data(), frames);
    benchmark::DoNotOptimize(outLeft.data());
    benchmark::ClobberMemory();
  }
  reportPerFrame(state, frames);
}
BENCHMARK(BM_ProcessParametric20)->Arg(256)->Arg(1024)->Arg(4096);

// A parametric preset change: twenty filter designs, in the audio thread.
void BM_DesignParametric20(benchmark::State& state) {
  ParametricEqualizer eq(48000);
  const Parametric preset = twentyFilters();
  for (auto _ : state) {
    eq.setPreset(preset);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DesignParametric20)->Unit(benchmark::kMicrosecond);

// A preset change: the compensation solve and the filter design, which the
// plugin does in the server's audio thread when its controls change.
void BM_DesignFilters(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const BandGains gains = builtInCatalog().find("loudness")->gains;
  for (auto _ : state) {
    benchmark::DoNotOptimize(designFilters(gains, rate));
  }
}
BENCHMARK(BM_DesignFilters)->Arg(44100)->Arg(48000)->Unit(benchmark::kMicrosecond);

}  // namespace
