// The equaliser in real sound servers: module-ladspa-sink loads our plugin
// in front of a null sink; a tone sequence played into it with paplay is
// recorded from the null sink's monitor with parec and compared with the
// same tones played straight to the null sink.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <numbers>
#include <sstream>
#include <thread>

#include "eq/PluginInfo.h"
#include "eq/Presets.h"
#include "eq/SinkModule.h"
#include "eq/SoundServers.h"
#include "support/Pactl.h"
#include "support/Requirements.h"
#include "support/Wave.h"

namespace kestrune::eq {
namespace {

using std::chrono::milliseconds;
using testing::Environment;
using testing::RunResult;
using testing::ServerKind;
using testing::SoundServer;

constexpr double toneSeconds = 0.4;
constexpr double toneAmplitude = 0.25;
// Bands of the tones: a low, a middle and two high ones (16 kHz is close to
// the Nyquist frequency at 44.1 kHz).
constexpr std::array<std::size_t, 4> toneBands = {0, 4, 7, 9};

std::string pluginDirectory() {
  const std::string path = KESTRUNE_EQ_PLUGIN;
  return path.substr(0, path.rfind('/'));
}

// A 16-bit stereo WAV file with the sines one after the other.
void writeTones(const std::string& path, unsigned rate, const std::vector<double>& frequencies,
                double secondsEach) {
  const auto framesEach = static_cast<std::uint32_t>(secondsEach * rate);
  const auto frames = static_cast<std::uint32_t>(framesEach * frequencies.size());
  test_audio::writeWave(path, rate, frames, [&](std::uint32_t frame) {
    const double frequency = frequencies[frame / framesEach];
    return toneAmplitude * std::sin(2 * std::numbers::pi * frequency * (frame % framesEach) / rate);
  });
}

double rms(const std::vector<float>& samples, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to && i < samples.size(); ++i) {
    sum += static_cast<double>(samples[i]) * samples[i];
  }
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0;
}

std::size_t onset(const std::vector<float>& samples) {
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(samples[i]) > 0.02F) {
      return i;
    }
  }
  return samples.size();
}

class LadspaSinkTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    KESTRUNE_SKIP_UNLESS_INSTALLED(testing_support::soundServerTools(GetParam()));
    server_ =
        std::make_unique<SoundServer>(GetParam(), Environment{{"LADSPA_PATH", pluginDirectory()}});
    ASSERT_EQ(server_->problem(), "");
    rate_ = sinkRate("speakers");
    ASSERT_GT(rate_, 0U);
    tones_ = server_->directory() + "/tones.wav";
    std::vector<double> frequencies;
    for (const std::size_t band : toneBands) {
      frequencies.push_back(bandFrequencies[band]);
    }
    writeTones(tones_, rate_, frequencies, toneSeconds);
  }

  unsigned sinkRate(const std::string& sink) const {
    return test_pactl::sinkRateIn(server_->pactl({"list", "short", "sinks"}).output, sink);
  }

  // Loads the equaliser in front of the null sink; the module's index.
  std::string loadEqualizer(const std::string& sinkName, const BandGains& gains,
                            const std::string& plugin = pluginFilePath()) const {
    const std::string arguments =
        ladspaSinkArguments({sinkName, "speakers", sinkName + " EQ", gains}, plugin);
    // One text, as the daemon hands it to the server.
    const std::vector<std::string> command = {"load-module", std::string(ladspaSinkModule),
                                              arguments};
    const RunResult result = server_->pactl(command);
    EXPECT_EQ(result.status, 0) << arguments;
    std::string index = result.output;
    while (!index.empty() && (index.back() == '\n' || index.back() == ' ')) {
      index.pop_back();
    }
    return index;
  }

  bool sourceOutputExists() const {
    return !server_->pactl({"list", "short", "source-outputs"}).output.empty();
  }

  // Starts recording the null sink's monitor.
  testing::Child startRecording(const std::string& path) const {
    testing::Child recorder(
        {"parec", "--latency-msec=20", "--device=speakers.monitor", "--format=float32le",
         "--channels=2", "--rate=" + std::to_string(rate_), "--raw"},
        server_->clientEnvironment(), path);
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(5000);
    while (!sourceOutputExists() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(20));
    }
    return recorder;
  }

  // Plays the tones into `sink` and measures each tone's level (dB full
  // scale) on the null sink's monitor.
  std::vector<double> tonesThrough(const std::string& sink) const {
    const std::string recording = server_->directory() + "/" + sink + ".raw";
    testing::Child recorder = startRecording(recording);
    const RunResult played =
        testing::run({"paplay", "--client-name=eq-test", "--device=" + sink, tones_},
                     server_->clientEnvironment());
    EXPECT_EQ(played.status, 0);
    std::this_thread::sleep_for(milliseconds(300));
    recorder.stop();
    const std::vector<float> samples = test_audio::readLeftChannel(recording);
    const std::size_t start = onset(samples);
    const auto each = static_cast<std::size_t>(toneSeconds * rate_);
    std::vector<double> levels;
    for (std::size_t tone = 0; tone < toneBands.size(); ++tone) {
      // The middle half of each tone: clear of the filters' settling and of
      // the onset's uncertainty.
      const std::size_t from = start + tone * each + each / 4;
      levels.push_back(20 * std::log10(rms(samples, from, from + each / 2) + 1e-12));
    }
    return levels;
  }

  std::unique_ptr<SoundServer> server_;
  unsigned rate_ = 0;
  std::string tones_;
};

TEST_P(LadspaSinkTest, TonesAtBandCentresChangeByThePresetsGains) {
  const std::vector<double> direct = tonesThrough("speakers");
  for (std::size_t tone = 0; tone < toneBands.size(); ++tone) {
    // A sine of amplitude 0.25: -15 dB full scale.
    ASSERT_NEAR(direct[tone], 20 * std::log10(toneAmplitude / std::sqrt(2.0)), 0.5)
        << "the tone at " << bandFrequencies[toneBands[tone]] << " Hz played straight";
  }
  for (const char* name : {"rock", "loudness"}) {
    const Preset& preset = *builtInCatalog().find(name);
    const std::string sink = std::string("kestrune_eq.") + name;
    const std::string module = loadEqualizer(sink, preset.gains);
    EXPECT_NE(server_->pactl({"list", "sinks"}).output.find("Description: " + sink + " EQ"),
              std::string::npos);
    const std::vector<double> filtered = tonesThrough(sink);
    std::ostringstream measured;
    measured << name << " on " << testing::serverName(GetParam()) << " at " << rate_ << " Hz:";
    for (std::size_t tone = 0; tone < toneBands.size(); ++tone) {
      const std::size_t band = toneBands[tone];
      measured << ' ' << bandFrequencies[band] << " Hz " << filtered[tone] - direct[tone] << " dB"
               << " (" << preset.gains[band] << ")";
      EXPECT_NEAR(filtered[tone] - direct[tone], preset.gains[band], 1.5)
          << name << " at " << bandFrequencies[band] << " Hz, " << rate_ << " Hz sample rate";
    }
    RecordProperty(name, measured.str());
    std::cout << measured.str() << '\n';
    EXPECT_EQ(server_->pactl({"unload-module", module}).status, 0);
    EXPECT_EQ(server_->pactl({"list", "short", "sinks"}).output.find(sink), std::string::npos);
  }
}

// The index of the sink input whose application.name is `client`, and the
// index of the sink it plays on; empty when there is none.
std::pair<std::string, std::string> streamOf(const SoundServer& server, const std::string& client) {
  std::istringstream lines(server.pactl({"list", "sink-inputs"}).output);
  std::string index;
  std::string sink;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Sink Input #", 0) == 0) {
      index = line.substr(12);
    } else if (line.find("\tSink: ") == 0) {
      sink = line.substr(7);
    } else if (line.find("application.name = \"" + client + "\"") != std::string::npos) {
      return {index, sink};
    }
  }
  return {};
}

std::string sinkIndex(const SoundServer& server, const std::string& name) {
  std::istringstream lines(server.pactl({"list", "short", "sinks"}).output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string index;
    std::string sinkName;
    fields >> index >> sinkName;
    if (sinkName == name) {
      return index;
    }
  }
  return {};
}

bool waitUntil(milliseconds timeout, const auto& condition) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

TEST_P(LadspaSinkTest, SwappingPresetsWhilePlayingInterruptsBriefly) {
  // A preset change as the daemon makes it: a new equaliser, the stream
  // moved onto it (and seen there), the old one unloaded.
  const std::string tone = server_->directory() + "/long.wav";
  writeTones(tone, rate_, {1000}, 3.0);
  const Preset& before = *builtInCatalog().find("vocal");  // 1 kHz: +4 dB
  const Preset& after = *builtInCatalog().find("rock");    // 1 kHz: -1 dB
  const std::string oldModule = loadEqualizer("kestrune_eq.old", before.gains);
  const std::string recording = server_->directory() + "/swap.raw";
  testing::Child recorder = startRecording(recording);
  testing::Child player({"paplay", "--client-name=eq-swap", "--device=kestrune_eq.old", tone},
                        server_->clientEnvironment());
  ASSERT_TRUE(
      waitUntil(milliseconds(3000), [&] { return !streamOf(*server_, "eq-swap").first.empty(); }));
  std::this_thread::sleep_for(milliseconds(1000));

  const std::string newModule = loadEqualizer("kestrune_eq.new", after.gains);
  const std::string stream = streamOf(*server_, "eq-swap").first;
  std::string newSink;
  ASSERT_TRUE(waitUntil(milliseconds(2000), [&] {
    newSink = sinkIndex(*server_, "kestrune_eq.new");
    return !newSink.empty();
  }));
  // PipeWire's session manager may drop a move its pulse server has taken,
  // and its pulse server may refuse one while the new sink is settling: the
  // move is asked for again, as the daemon does, until the stream is seen
  // on the new sink.
  const auto moved = [&] { return streamOf(*server_, "eq-swap").second == newSink; };
  std::string answers;
  for (int attempt = 0; attempt < 3 && !moved(); ++attempt) {
    answers += server_->pactl({"move-sink-input", stream, "kestrune_eq.new"}).output;
    waitUntil(milliseconds(1000), moved);
  }
  EXPECT_TRUE(moved()) << answers << server_->pactl({"list", "short", "sink-inputs"}).output;
  EXPECT_EQ(server_->pactl({"unload-module", oldModule}).status, 0);
  EXPECT_EQ(player.wait(milliseconds(10000)), 0);
  std::this_thread::sleep_for(milliseconds(300));
  recorder.stop();

  // Levels in 5 ms windows from the tone's start to its end.
  const std::vector<float> samples = test_audio::readLeftChannel(recording);
  const std::size_t window = rate_ / 200;
  std::vector<double> levels;
  for (std::size_t at = onset(samples); at + window <= samples.size(); at += window) {
    levels.push_back(20 * std::log10(rms(samples, at, at + window) + 1e-12));
  }
  while (!levels.empty() && levels.back() < -40) {
    levels.pop_back();  // after the tone
  }
  // PulseAudio rewinds what the old equaliser had rendered ahead and plays
  // it again through the new one, so the recording need not show the old
  // level at all; PipeWire switches at the next cycle.
  ASSERT_GT(levels.size(), 200U);
  std::size_t longestGap = 0;
  for (std::size_t i = 0, gap = 0; i < levels.size(); ++i) {
    gap = levels[i] < -30 ? gap + 1 : 0;
    longestGap = std::max(longestGap, gap);
  }
  const double directDB = 20 * std::log10(toneAmplitude / std::sqrt(2.0));
  EXPECT_NEAR(levels[levels.size() - 40] - directDB, after.gains[5], 1.5);
  const double gapMs = 5.0 * static_cast<double>(longestGap);
  EXPECT_LE(gapMs, 200.0);
  RecordProperty("interruptionMs", std::to_string(gapMs));
  std::cout << "preset swap on " << testing::serverName(GetParam()) << ": longest silence " << gapMs
            << " ms\n";
  EXPECT_EQ(server_->pactl({"unload-module", newModule}).status, 0);
}

TEST_P(LadspaSinkTest, LoadsInFrontOfMonoAndSurroundDevices) {
  for (const char* channels : {"1", "6"}) {
    const std::string master = std::string("master") + channels;
    ASSERT_EQ(server_
                  ->pactl({"load-module", "module-null-sink", "sink_name=" + master,
                           std::string("channels=") + channels})
                  .status,
              0);
    const std::string arguments = ladspaSinkArguments(
        {"kestrune_eq." + master, master, "EQ", builtInCatalog().find("rock")->gains});
    const RunResult loaded =
        server_->pactl({"load-module", std::string(ladspaSinkModule), arguments});
    EXPECT_EQ(loaded.status, 0) << channels << " channels";
  }
}

TEST_P(LadspaSinkTest, PluginIsFoundByNameOnTheServersLadspaPath) {
  // Only with the server's LADSPA_PATH naming the plugin's directory; the
  // daemon passes the absolute path instead.
  const std::string module = loadEqualizer("kestrune_eq.byname", {}, std::string(pluginName));
  EXPECT_NE(server_->pactl({"list", "short", "sinks"}).output.find("kestrune_eq.byname"),
            std::string::npos);
  EXPECT_EQ(server_->pactl({"unload-module", module}).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, LadspaSinkTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const ::testing::TestParamInfo<ServerKind>& param) {
                           return std::string(testing::serverName(param.param));
                         });

}  // namespace
}  // namespace kestrune::eq
