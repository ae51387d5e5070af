// Per-app EQ through the real kestruned on a private PulseAudio and a
// private PipeWire: apps play tones with paplay, the device's monitor is
// recorded with parec, and each tone's level is measured on its own
// frequency (Goertzel), so that two apps on one device are told apart.
// Sinks, modules and streams are checked with pactl.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <numbers>
#include <set>
#include <sstream>
#include <thread>

#include "DaemonFixture.h"
#include "SharedServerTest.h"
#include "client/CLIClient.h"
#include "eq/Bands.h"
#include "eq/Presets.h"
#include "support/Cookbook.h"
#include "support/Pactl.h"
#include "support/Wave.h"

namespace kestrune::daemon::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double toneAmplitude = 0.1;  // -20 dB full scale, each tone
constexpr double settleSeconds = 0.1;  // dropped at the start of a recording
// A level is the median of five short measurements: a busy machine may
// drop a quantum of any device's sound, which would otherwise read as a
// change of level.
constexpr double pieceSeconds = 0.2;
constexpr std::size_t pieceCount = 5;
constexpr double measuredSeconds = pieceSeconds * pieceCount;
constexpr std::string_view eqSinkPrefix = "kestrune_eq.";

// The music app plays three band centres at once; the other app a fourth
// band, where both presets tested have a gain of their own, so that EQ
// leaking onto it would show.
constexpr std::array<std::size_t, 3> musicBands = {2, 5, 8};  // 125 Hz, 1 kHz, 8 kHz
constexpr std::size_t otherBand = 7;                          // 4 kHz
constexpr std::array<const char*, 2> testedPresets = {"rock", "vocal"};

// A headphone correction as published: a preamp, a low shelf, two peaks, a
// high shelf and a filter that is off, and a chord to measure it with.
const std::vector<double> profileChord = {40, 105, 400, 1000, 3000, 6000, 12000};
const std::vector<test_audio::CookbookFilter> profileFiltersOn = {{"LSC", 105, 5.5, 0.71},
                                                                  {"PK", 400, -4.2, 1.1},
                                                                  {"PK", 3000, 3.6, 2.4},
                                                                  {"HSC", 9000, -5, 0.71}};
constexpr double profilePreamp = -5.9;
constexpr std::string_view profileText =
    "Preamp: -5.9 dB\n"
    "Filter 1: ON LSC Fc 105 Hz Gain 5.5 dB Q 0.71\n"
    "Filter 2: ON PK Fc 400 Hz Gain -4.2 dB Q 1.10\n"
    "Filter 3: OFF PK Fc 1000 Hz Gain 8.0 dB Q 1.00\n"
    "Filter 4: ON PK Fc 3000 Hz Gain 3.6 dB Q 2.40\n"
    "Filter 5: ON HSC Fc 9000 Hz Gain -5.0 dB Q 0.71\n";

// The profile's change at a frequency, from the cookbook's formulas.
double profileChange(double frequency, unsigned rate) {
  double change = profilePreamp;
  for (const auto& filter : profileFiltersOn) {
    change += test_audio::cookbookGainDB(filter, frequency, rate);
  }
  return change;
}

bool contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

bool isEqSink(const std::string& name) {
  return name.rfind(eqSinkPrefix, 0) == 0;
}

const eq::BandGains& gainsOf(const char* preset) {
  return eq::builtInCatalog().find(preset)->gains;
}

// A 16-bit stereo WAV of the sines played together, at the device's rate so
// that nothing resamples it.
void writeChord(const std::string& path, unsigned rate, const std::vector<double>& frequencies,
                double seconds) {
  test_audio::writeWave(
      path, rate, static_cast<std::uint32_t>(seconds * rate), [&](std::uint32_t frame) {
        double x = 0;
        for (const double frequency : frequencies) {
          x += toneAmplitude * std::sin(2 * std::numbers::pi * frequency * frame / rate);
        }
        return x;
      });
}

// The level (dB full scale, of the sine's amplitude) of one frequency in
// the samples: a Goertzel filter over a Hann window, whose side lobes keep
// the other tones, octaves away, out of it.
double levelAt(const std::vector<float>& samples, double frequency, unsigned rate) {
  const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / rate);
  const double last = static_cast<double>(samples.size() - 1);
  double s1 = 0;
  double s2 = 0;
  double windowSum = 0;
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const double window =
        0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(n) / last);
    windowSum += window;
    const double s = samples[n] * window + coefficient * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return 20 * std::log10(2 * std::sqrt(std::max(power, 0.0)) / windowSum + 1e-12);
}

double rmsLevel(const std::vector<float>& samples, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) {
    sum += static_cast<double>(samples[i]) * samples[i];
  }
  return 10 * std::log10(sum / static_cast<double>(to - from) + 1e-24);
}

// The names in the second column of `pactl list short ...`.
std::vector<std::string> secondColumn(const std::string& table) {
  std::vector<std::string> names;
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string index;
    std::string name;
    if (fields >> index >> name) {
      names.push_back(name);
    }
  }
  return names;
}

// An app playing a chord through paplay, under its client name.
class TonePlayer {
 public:
  // `bufferMs` 0: paplay's own choice (two seconds). `device` empty: the
  // default output.
  TonePlayer(const SoundServer& server, const std::string& clientName, const std::string& file,
             int bufferMs, const std::string& logPath, const std::string& device = {}) {
    std::vector<std::string> arguments{"--client-name=" + clientName,
                                       "--stream-name=" + clientName + " stream", file};
    if (bufferMs > 0) {
      arguments.push_back("--latency-msec=" + std::to_string(bufferMs));
    }
    if (!device.empty()) {
      arguments.push_back("--device=" + device);
    }
    // Up when the server shows one more stream of the client than before.
    const std::size_t before = sinksOfClient(server, clientName).size();
    process_ = std::make_unique<Process>("paplay", arguments, server.environment(), logPath);
    if (!eventually([&] { return sinksOfClient(server, clientName).size() > before; })) {
      throw std::runtime_error("paplay did not start for " + clientName + ": " + process_->log());
    }
  }
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;
  // paplay drains its buffer for seconds after SIGTERM: it is killed.
  ~TonePlayer() { process_->signal(SIGKILL); }

 private:
  std::unique_ptr<Process> process_;
};

// parec on a device's monitor, float samples at the device's rate.
class Recorder {
 public:
  Recorder(const SoundServer& server, const std::string& device, unsigned rate,
           const std::string& path)
      : server_(server), path_(path), rate_(rate) {
    const std::size_t before = outputs();
    process_ = std::make_unique<Process>(
        "parec",
        std::vector<std::string>{"--latency-msec=10", "--device=" + device + ".monitor",
                                 "--format=float32le", "--channels=2",
                                 "--rate=" + std::to_string(rate), "--raw", path},
        server.environment(), path + ".log");
    if (!eventually([&] { return outputs() > before; })) {
      throw std::runtime_error("parec did not start: " + process_->log());
    }
  }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  double secondsRecorded() const {
    std::error_code unknown;
    const auto bytes = std::filesystem::file_size(path_, unknown);
    return unknown ? 0 : static_cast<double>(bytes) / (8.0 * rate_);
  }
  bool waitFor(double seconds) const {
    return eventually([&] { return secondsRecorded() >= seconds; }, 5s);
  }
  // The left channel so far.
  std::vector<float> soFar() const { return test_audio::readLeftChannel(path_); }
  // Stops recording; the left channel.
  std::vector<float> finish() {
    process_->signal(SIGTERM);
    process_->wait(3s);
    return test_audio::readLeftChannel(path_);
  }

 private:
  std::size_t outputs() const {
    return secondColumn(server_.pactl({"list", "short", "source-outputs"})).size();
  }

  const SoundServer& server_;
  std::string path_;
  unsigned rate_;
  std::unique_ptr<Process> process_;
};

// One sound server of each kind for the suite; each test has its own
// daemon, players and configuration.
class EqualizerEndToEndTest : public SharedServerTest {
 protected:
  void SetUp() override {
    useSharedServer();
    if (IsSkipped()) {
      return;
    }
    ASSERT_TRUE(eqSinks().empty()) << "left by an earlier test";
    rate_ = sinkRate("speakers");
    ASSERT_GT(rate_, 0U);
    modulesBefore_ = modules();
    sinksBefore_ = secondColumn(pactl({"list", "short", "sinks"}));
    daemon_ = std::make_unique<Daemon>(*server_, scratch_.path());
  }

  void TearDown() override {
    daemon_.reset();
    players_.clear();
  }

  unsigned sinkRate(const std::string& sink) const {
    return test_pactl::sinkRateIn(pactl({"list", "short", "sinks"}), sink);
  }

  // The sinks and modules as pactl lists them (modules whole, with their
  // arguments).
  std::vector<std::string> eqSinks() const {
    auto sinks = secondColumn(pactl({"list", "short", "sinks"}));
    std::erase_if(sinks, [](const std::string& name) { return !isEqSink(name); });
    return sinks;
  }
  // Saves the profile as an editor does (a new file renamed over it), its
  // preamp 4 dB lower, and waits until Music plays through the one
  // equaliser loaded again for it.
  ::testing::AssertionResult editProfileFourDBQuieter(const std::string& path) const {
    const std::vector<std::string> before = eqSinks();
    std::string quieter(profileText);
    quieter.replace(quieter.find("-5.9"), 4, "-9.9");
    std::ofstream(path + ".new") << quieter;
    std::filesystem::rename(path + ".new", path);
    if (eventually(
            [&] { return eqSinks().size() == 1 && eqSinks() != before && onEqualizer("Music"); },
            5s)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << pactl({"list", "short", "sinks"});
  }
  std::set<std::string> modules() const {
    std::set<std::string> lines;
    std::istringstream table(pactl({"list", "short", "modules"}));
    for (std::string line; std::getline(table, line);) {
      lines.insert(line);
    }
    return lines;
  }

  static double frequencyOf(std::size_t band) { return eq::bandFrequencies[band]; }

  // An app playing tones at the bands' centres on the device (empty: the
  // default). A small buffer keeps the recordings short: the devices'
  // monitors deliver at the pace of their slowest client.
  void play(const std::string& client, const std::vector<std::size_t>& bands, int bufferMs = 150,
            const std::string& device = {}) {
    std::vector<double> frequencies;
    for (const std::size_t band : bands) {
      frequencies.push_back(frequencyOf(band));
    }
    playTones(client, frequencies, bufferMs, device);
  }
  void playTones(const std::string& client, const std::vector<double>& frequencies,
                 int bufferMs = 150, const std::string& device = {}) {
    std::string file = scratch_.path() + "/" + client;
    for (const double frequency : frequencies) {
      file += "-" + std::to_string(static_cast<int>(frequency));
    }
    file += device + ".wav";
    writeChord(file, rate_, frequencies, 40);
    players_.push_back(
        std::make_unique<TonePlayer>(*server_, client, file, bufferMs, file + ".log", device));
  }

  // Each band's tone level on the device's monitor, in dB full scale.
  std::map<std::size_t, double> levels(const std::vector<std::size_t>& bands,
                                       const std::string& device = "speakers") {
    std::vector<double> frequencies;
    for (const std::size_t band : bands) {
      frequencies.push_back(frequencyOf(band));
    }
    const std::vector<double> measured = toneLevels(frequencies, device);
    std::map<std::size_t, double> result;
    for (std::size_t i = 0; i < measured.size(); ++i) {
      result[bands[i]] = measured[i];
    }
    return result;
  }

  // Each tone's level on the device's monitor, in dB full scale; none when
  // the device stayed silent.
  std::vector<double> toneLevels(const std::vector<double>& frequencies,
                                 const std::string& device = "speakers") {
    Recorder recorder(*server_, device, rate_, scratch_.path() + "/levels.raw");
    const auto settle = static_cast<std::size_t>(settleSeconds * rate_);
    const auto count = static_cast<std::size_t>(measuredSeconds * rate_);
    std::vector<float> samples;
    std::size_t from = 0;
    const bool enough = eventually(
        [&] {
          samples = recorder.soFar();
          from = soundStart(samples) + settle;
          return samples.size() >= from + count;
        },
        5s);
    recorder.finish();
    std::vector<double> result;
    if (!enough) {
      ADD_FAILURE() << "no " << measuredSeconds << " s of sound on " << device << ", " << tag();
      return result;
    }
    for (const double frequency : frequencies) {
      result.push_back(medianLevel(samples, from, frequency));
    }
    return result;
  }

  // The level of one frequency in measuredSeconds of samples from `from`:
  // the median of the pieces' levels.
  double medianLevel(const std::vector<float>& samples, std::size_t from, double frequency) const {
    const auto pieceLength = static_cast<std::size_t>(pieceSeconds * rate_);
    std::vector<double> pieces;
    for (std::size_t piece = 0; piece < pieceCount; ++piece) {
      const auto begin = samples.begin() + static_cast<std::ptrdiff_t>(from + piece * pieceLength);
      const std::vector<float> measured(begin, begin + static_cast<std::ptrdiff_t>(pieceLength));
      pieces.push_back(levelAt(measured, frequency, rate_));
    }
    std::nth_element(pieces.begin(), pieces.begin() + pieceCount / 2, pieces.end());
    return pieces[pieceCount / 2];
  }

  // Where the sound starts: a recording of a monitor on PulseAudio may
  // begin with silence, and a stream just moved to another sink may be
  // silent while it fills its buffer again. A device silent for two
  // seconds is measured from the start.
  std::size_t soundStart(const std::vector<float>& samples) const {
    const std::size_t window = rate_ / 200;
    for (std::size_t at = 0; at + window <= samples.size(); at += window) {
      if (rmsLevel(samples, at, at + window) > -60) {
        return at;
      }
    }
    return samples.size() >= 2 * std::size_t{rate_} ? 0 : samples.size();
  }

  bool onEqualizer(const std::string& client) const {
    const auto sinks = sinksOfClient(*server_, client);
    return !sinks.empty() && std::all_of(sinks.begin(), sinks.end(), isEqSink);
  }

  std::string tag() const { return nameOf(GetParam()) + " at " + std::to_string(rate_) + " Hz"; }

  unsigned rate_ = 0;
  std::set<std::string> modulesBefore_;
  std::vector<std::string> sinksBefore_;
  std::vector<std::unique_ptr<TonePlayer>> players_;
};

const std::vector<std::size_t> allBands = {musicBands[0], musicBands[1], musicBands[2], otherBand};

TEST_P(EqualizerEndToEndTest, PresetsChangeOnlyTheirAppByTheBandGainsAndOffRestores) {
  play("Music", {musicBands.begin(), musicBands.end()});
  play("Radio", {otherBand});
  const auto direct = levels(allBands);
  for (const std::size_t band : allBands) {
    ASSERT_NEAR(direct.at(band), 20 * std::log10(toneAmplitude), 1.0)
        << frequencyOf(band) << " Hz played straight on " << tag();
  }

  for (const char* preset : testedPresets) {
    daemon_->ask({"app", "eq", "set", "Music", preset});
    EXPECT_TRUE(onEqualizer("Music")) << preset;
    EXPECT_EQ(sinksOfClient(*server_, "Radio"), std::vector<std::string>{"speakers"});
    EXPECT_TRUE(contains(daemon_->ask({"app", "eq", "get", "Music", "--json"}),
                         std::string("\"preset\" : \"") + preset + "\""));
    const auto through = levels(allBands);
    std::ostringstream report;
    report << preset << " on " << tag() << ":";
    for (const std::size_t band : musicBands) {
      const double change = through.at(band) - direct.at(band);
      const double gain = gainsOf(preset)[band];
      report << " " << frequencyOf(band) << " Hz " << change << " dB (" << gain << ")";
      EXPECT_NEAR(change, gain, 1.5) << preset << " at " << frequencyOf(band) << " Hz, " << tag();
    }
    const double otherChange = through.at(otherBand) - direct.at(otherBand);
    report << "; the other app at " << frequencyOf(otherBand) << " Hz " << otherChange << " dB";
    EXPECT_NEAR(otherChange, 0, 0.5) << "the other app under " << preset << ", " << tag();
    std::cout << report.str() << '\n';
    RecordProperty(preset, report.str());
  }
  // Only one equaliser for the app, however many presets it went through.
  EXPECT_EQ(eqSinks().size(), 1U);

  daemon_->ask({"app", "eq", "set", "music", "OFF"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"speakers"});
  EXPECT_TRUE(eqSinks().empty());
  const auto restored = levels(allBands);
  for (const std::size_t band : allBands) {
    EXPECT_NEAR(restored.at(band), direct.at(band), 0.5)
        << "after off, " << frequencyOf(band) << " Hz, " << tag();
  }
  EXPECT_EQ(modules(), modulesBefore_);
}

TEST_P(EqualizerEndToEndTest, StoppingTheDaemonPutsEveryStreamBackAndRemovesWhatItLoaded) {
  play("Music", {musicBands[0]});
  play("Radio", {otherBand});
  daemon_->ask({"app", "device", "set", "Music", "headphones"});
  daemon_->ask({"app", "eq", "set", "Music", "bassBoost"});
  daemon_->ask({"app", "eq", "set", "Radio", "trebleBoost"});
  // Two apps, two equalisers, each in front of its app's device.
  EXPECT_EQ(eqSinks().size(), 2U);
  EXPECT_TRUE(onEqualizer("Music"));
  EXPECT_TRUE(onEqualizer("Radio"));
  EXPECT_NE(sinksOfClient(*server_, "Music"), sinksOfClient(*server_, "Radio"));
  const double bass = levels({musicBands[0]}, "headphones").at(musicBands[0]);
  EXPECT_NEAR(bass - 20 * std::log10(toneAmplitude), gainsOf("bassBoost")[musicBands[0]], 1.5)
      << tag();
  EXPECT_LT(levels({musicBands[0]}, "speakers").at(musicBands[0]), -60) << tag();

  daemon_->process().signal(SIGTERM);
  EXPECT_EQ(daemon_->process().wait(5s), 0);
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"headphones"});
  EXPECT_EQ(sinksOfClient(*server_, "Radio"), std::vector<std::string>{"speakers"});
  EXPECT_EQ(secondColumn(pactl({"list", "short", "sinks"})), sinksBefore_);
  EXPECT_EQ(modules(), modulesBefore_);
  const double radio = levels({otherBand}, "speakers").at(otherBand);
  EXPECT_NEAR(radio, 20 * std::log10(toneAmplitude), 0.5) << "Radio without EQ, " << tag();
}

TEST_P(EqualizerEndToEndTest, AnAppWithoutAChosenDeviceKeepsItsEqualizerOnTheDefaultOutput) {
  play("Music", {musicBands[0]});
  daemon_->ask({"app", "eq", "set", "Music", "bassBoost"});
  const std::vector<std::string> first = eqSinks();
  ASSERT_EQ(first.size(), 1U);

  pactl({"set-default-sink", "headphones"});
  EXPECT_TRUE(eventually([&] {
    const auto sinks = eqSinks();
    return sinks.size() == 1 && sinks != first && sinksOfClient(*server_, "Music") == sinks;
  })) << "sinks: "
      << pactl({"list", "short", "sinks"});
  const double bass = levels({musicBands[0]}, "headphones").at(musicBands[0]);
  EXPECT_NEAR(bass - 20 * std::log10(toneAmplitude), gainsOf("bassBoost")[musicBands[0]], 1.5)
      << tag();
  EXPECT_LT(levels({musicBands[0]}, "speakers").at(musicBands[0]), -60) << tag();

  daemon_->ask({"app", "eq", "set", "Music", "off"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"headphones"});
  EXPECT_EQ(modules(), modulesBefore_);
}

TEST_P(EqualizerEndToEndTest, AfterACrashTheNextDaemonReplacesTheLeftoverEqualizer) {
  play("Music", {musicBands[0]});
  daemon_->ask({"app", "eq", "set", "Music", "bassBoost"});
  const std::vector<std::string> leftover = sinksOfClient(*server_, "Music");
  ASSERT_EQ(leftover.size(), 1U);
  ASSERT_TRUE(isEqSink(leftover[0]));

  daemon_->process().signal(SIGKILL);
  daemon_->process().wait(5s);
  // A crash takes nothing away: the app still plays through the equaliser.
  EXPECT_EQ(eqSinks(), leftover);
  EXPECT_EQ(sinksOfClient(*server_, "Music"), leftover);
  std::filesystem::remove(daemon_->socketPath());

  daemon_ = std::make_unique<Daemon>(*server_, scratch_.path());
  // The remembered preset again, through an equaliser of the new daemon.
  EXPECT_TRUE(eventually([&] {
    const auto sinks = eqSinks();
    return sinks.size() == 1 && sinks != leftover && onEqualizer("Music") &&
           sinksOfClient(*server_, "Music") == sinks;
  })) << "sinks: "
      << pactl({"list", "short", "sinks"});
  const double bass = levels({musicBands[0]}).at(musicBands[0]);
  EXPECT_NEAR(bass - 20 * std::log10(toneAmplitude), gainsOf("bassBoost")[musicBands[0]], 1.5)
      << tag();

  daemon_->ask({"app", "eq", "set", "Music", "off"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"speakers"});
  EXPECT_EQ(modules(), modulesBefore_);
}

// Another daemon, with a configuration of its own on the same server,
// neither takes this one's equalisers when it starts nor when it stops.
TEST_P(EqualizerEndToEndTest, ASecondDaemonLeavesTheFirstOnesEqualizersAlone) {
  play("Music", {musicBands[0]});
  play("Radio", {otherBand});
  daemon_->ask({"app", "eq", "set", "Music", "rock"});
  daemon_->ask({"app", "eq", "set", "Radio", "vocal"});
  const std::vector<std::string> loaded = eqSinks();
  ASSERT_EQ(loaded.size(), 2U);

  const ScratchDirectory elsewhere;
  Daemon second(*server_, elsewhere.path());
  // Started: it has looked for what earlier runs left.
  EXPECT_EQ(eqSinks(), loaded);
  EXPECT_TRUE(contains(second.ask({"status"}), "Speakers"));
  second.process().signal(SIGTERM);
  EXPECT_EQ(second.process().wait(5s), 0);
  EXPECT_EQ(eqSinks(), loaded);
  EXPECT_TRUE(onEqualizer("Music"));
  EXPECT_TRUE(onEqualizer("Radio"));

  daemon_->ask({"app", "eq", "set", "Music", "off"});
  daemon_->ask({"app", "eq", "set", "Radio", "off"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"speakers"});
  EXPECT_EQ(modules(), modulesBefore_);
}

// Where the app plays is its own business: turning EQ on puts the
// equaliser in front of that device, not in front of the default output.
TEST_P(EqualizerEndToEndTest, AnAppStartedOnAnotherDeviceIsHeardThereOnlyWithItsEqualizer) {
  const std::size_t band = musicBands[1];  // 1 kHz: vocal +4 dB
  play("Music", {band}, 150, "headphones");
  ASSERT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"headphones"});
  const std::string deviceBefore = daemon_->ask({"app", "device", "get", "Music", "--json"});
  ASSERT_TRUE(contains(deviceBefore, "headphones")) << deviceBefore;

  daemon_->ask({"app", "eq", "set", "Music", "vocal"});
  EXPECT_TRUE(onEqualizer("Music"));
  EXPECT_EQ(daemon_->ask({"app", "device", "get", "Music", "--json"}), deviceBefore);
  const double there = levels({band}, "headphones").at(band);
  EXPECT_NEAR(there - 20 * std::log10(toneAmplitude), gainsOf("vocal")[band], 1.5) << tag();
  EXPECT_LT(levels({band}, "speakers").at(band), -60) << "heard on the default output, " << tag();

  daemon_->ask({"app", "eq", "set", "Music", "off"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"headphones"});
  EXPECT_EQ(daemon_->ask({"app", "device", "get", "Music", "--json"}), deviceBefore);
  EXPECT_EQ(modules(), modulesBefore_);
}

// One app on two devices at once: each of its streams keeps its device,
// through an equaliser in front of it, and goes back to it when EQ is off.
TEST_P(EqualizerEndToEndTest, AnAppOnTwoDevicesGetsAnEqualizerInFrontOfEach) {
  const std::size_t low = musicBands[0];   // 125 Hz
  const std::size_t high = musicBands[2];  // 8 kHz
  play("Music", {low});
  play("Music", {high}, 150, "headphones");
  // The daemon has seen the second stream once it names its device.
  ASSERT_TRUE(eventually([&] {
    return contains(daemon_->ask({"app", "device", "get", "Music"}), "headphones");
  }));

  daemon_->ask({"app", "eq", "set", "Music", "rock"});
  EXPECT_EQ(eqSinks().size(), 2U);
  EXPECT_TRUE(onEqualizer("Music"));
  const auto onSpeakers = levels({low, high}, "speakers");
  const auto onHeadphones = levels({low, high}, "headphones");
  EXPECT_NEAR(onSpeakers.at(low) - 20 * std::log10(toneAmplitude), gainsOf("rock")[low], 1.5)
      << tag();
  EXPECT_NEAR(onHeadphones.at(high) - 20 * std::log10(toneAmplitude), gainsOf("rock")[high], 1.5)
      << tag();
  EXPECT_LT(onSpeakers.at(high), -60) << tag();
  EXPECT_LT(onHeadphones.at(low), -60) << tag();

  daemon_->ask({"app", "eq", "set", "Music", "off"});
  auto sinks = sinksOfClient(*server_, "Music");
  std::sort(sinks.begin(), sinks.end());
  EXPECT_EQ(sinks, (std::vector<std::string>{"headphones", "speakers"}));
  EXPECT_EQ(modules(), modulesBefore_);
}

// Measured for a client with a small buffer and for one with paplay's
// large default: PulseAudio plays back what the old equaliser had taken
// ahead, through the new one.
TEST_P(EqualizerEndToEndTest, ChangingThePresetWhilePlayingInterruptsBriefly) {
  constexpr std::size_t band = 5;  // 1 kHz: vocal +4 dB, rock -1 dB
  for (const int bufferMs : {150, 0}) {
    players_.clear();
    play("Music", {band}, bufferMs);
    daemon_->ask({"app", "eq", "set", "Music", "vocal"});
    Recorder recorder(*server_, "speakers", rate_, scratch_.path() + "/swap.raw");
    // A monitor's recording may begin with silence: the change comes once
    // the tone is heard, and the gap is looked for from there.
    std::size_t start = 0;
    ASSERT_TRUE(eventually(
        [&] {
          const auto samples = recorder.soFar();
          start = soundStart(samples);
          return start + rate_ / 4 <= samples.size();
        },
        5s));
    const auto asked = Clock::now();
    daemon_->ask({"app", "eq", "set", "Music", "rock"});
    const auto answered = Clock::now();
    const double switchedAt = recorder.secondsRecorded();
    // The gap is looked for in the 0.4 s after the change; the new preset's
    // level is measured after that.
    ASSERT_TRUE(recorder.waitFor(switchedAt + 0.4 + measuredSeconds));
    const std::vector<float> recorded = recorder.finish();
    const std::size_t settled =
        std::min(recorded.size() - static_cast<std::size_t>(measuredSeconds * rate_),
                 static_cast<std::size_t>((switchedAt + 0.4) * rate_));
    const std::vector<float> samples(recorded.begin(),
                                     recorded.begin() + static_cast<std::ptrdiff_t>(settled));

    // Levels in 5 ms windows; the longest run of windows well below the
    // quieter of the two presets is the interruption.
    const std::size_t window = rate_ / 200;
    const double quiet = 20 * std::log10(toneAmplitude / std::numbers::sqrt2) +
                         std::min(gainsOf("vocal")[band], gainsOf("rock")[band]) - 20;
    std::size_t longest = 0;
    std::size_t quietWindows = 0;
    for (std::size_t at = start, run = 0; at + window <= samples.size(); at += window) {
      run = rmsLevel(samples, at, at + window) < quiet ? run + 1 : 0;
      quietWindows += run > 0 ? 1 : 0;
      longest = std::max(longest, run);
    }
    const double gapMs = 5.0 * static_cast<double>(longest);
    const auto requestMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(answered - asked).count();
    std::ostringstream report;
    report << "preset change on " << tag() << ", client buffer "
           << (bufferMs > 0 ? std::to_string(bufferMs) + " ms" : "default") << ": longest gap "
           << gapMs << " ms, quiet in all " << 5.0 * static_cast<double>(quietWindows)
           << " ms, request " << requestMs << " ms";
    std::cout << report.str() << '\n';
    RecordProperty("interruption" + std::to_string(bufferMs), report.str());
    EXPECT_LE(gapMs, 200.0) << report.str();

    // And the new preset holds afterwards.
    EXPECT_NEAR(medianLevel(recorded, settled, frequencyOf(band)) - 20 * std::log10(toneAmplitude),
                gainsOf("rock")[band], 1.5)
        << report.str();
  }
}

// A headphone correction as published, in the eq/ folder: a preamp, a low
// shelf, two peaks, a high shelf and a filter that is off. Played as a
// chord, each tone changes by the cookbook's response of the filters that
// are on plus the preamp, and the same chord on another device does not.
TEST_P(EqualizerEndToEndTest, AProfileInTheEqFolderShapesItsAppByTheCookbookCurve) {
  const std::vector<double>& chord = profileChord;
  playTones("Music", chord);
  playTones("Radio", chord, 150, "headphones");
  const std::vector<double> direct = toneLevels(chord);
  const std::vector<double> directElsewhere = toneLevels(chord, "headphones");
  ASSERT_EQ(direct.size(), chord.size());
  ASSERT_EQ(directElsewhere.size(), chord.size());

  // The folder appears while the daemon runs.
  const std::string folder = daemon_->configDirectory() + "/eq";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/studio cans.txt") << profileText;
  std::ofstream(folder + "/broken.txt") << "Preamp: -3 dB\n"
                                           "Filter 1: ON PK Fc 100 Hz Gain -2 dB Q 1\n"
                                           "Filter 2: ON PK Fc 2k Hz Gain 1 dB Q 1\n";
  daemon_->ask({"app", "eq", "set", "Music", "Studio Cans"});
  EXPECT_TRUE(onEqualizer("Music"));
  EXPECT_EQ(sinksOfClient(*server_, "Radio"), std::vector<std::string>{"headphones"});
  const std::string get = daemon_->ask({"app", "eq", "get", "Music", "--json"});
  EXPECT_TRUE(contains(get, "\"preset\" : \"studio cans\"")) << get;
  // Graphical clients are offered it after the built-in presets, and not the broken one.
  const CLIResponse offered = CLIClient(daemon_->socketPath()).send({CLICommand::ListEQPresets{}});
  ASSERT_TRUE(offered.data.has_value());
  const auto& presets = std::get<CLIResponseData::EqPresets>(offered.data->value).value;
  ASSERT_FALSE(presets.empty());
  EXPECT_EQ(presets.front().name, "flat");
  EXPECT_FALSE(presets.front().isParametric);
  EXPECT_EQ(presets.back().name, "studio cans");
  EXPECT_TRUE(presets.back().isParametric);

  const std::vector<double> through = toneLevels(chord);
  const std::vector<double> elsewhere = toneLevels(chord, "headphones");
  ASSERT_EQ(through.size(), chord.size());
  ASSERT_EQ(elsewhere.size(), chord.size());
  std::ostringstream report;
  report << "profile on " << tag() << ":";
  for (std::size_t i = 0; i < chord.size(); ++i) {
    const double expected = profileChange(chord[i], rate_);
    const double change = through[i] - direct[i];
    report << " " << chord[i] << " Hz " << change << " dB (" << expected << ")";
    EXPECT_NEAR(change, expected, 1.0) << chord[i] << " Hz, " << tag();
    EXPECT_NEAR(elsewhere[i] - directElsewhere[i], 0, 0.5)
        << "the other device at " << chord[i] << " Hz, " << tag();
  }
  std::cout << report.str() << '\n';
  RecordProperty("profile", report.str());

  // The broken file is named with its line and column; the others still work.
  const Finished refused = daemon_->kestrune({"app", "eq", "set", "Music", "broken"});
  EXPECT_TRUE(contains(refused.out + refused.err, "Unknown EQ preset: \"broken\""));
  EXPECT_TRUE(contains(refused.out + refused.err,
                       folder + "/broken.txt:3:20: Expected a frequency, found \"2k\""))
      << refused.out << refused.err;
  EXPECT_TRUE(onEqualizer("Music"));

  // The profile edited as an editor saves it: the app's equaliser follows.
  ASSERT_TRUE(editProfileFourDBQuieter(folder + "/studio cans.txt"));
  const double edited = toneLevels({chord[1]}).at(0);
  EXPECT_NEAR(edited - direct[1], profileChange(chord[1], rate_) - 4, 1.0) << "edited, " << tag();

  daemon_->ask({"app", "eq", "set", "Music", "off"});
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"speakers"});
  EXPECT_EQ(modules(), modulesBefore_);
}

// A device's correction in devices.json: what plays there changes by the
// cookbook curve, under the app's own EQ, the app still names the device,
// the other device is untouched, the correction comes back with its
// device, and follows edits of its profile.
TEST_P(EqualizerEndToEndTest,
       ADeviceCorrectionShapesEverythingPlayedThereAndFollowsTheDeviceAndItsProfile) {
  const std::vector<double>& chord = profileChord;
  playTones("Music", chord, 150, "headphones");
  playTones("Radio", chord);
  const std::vector<double> direct = toneLevels(chord, "headphones");
  const std::vector<double> directElsewhere = toneLevels(chord, "speakers");
  ASSERT_EQ(direct.size(), chord.size());
  ASSERT_EQ(directElsewhere.size(), chord.size());

  const std::string config = daemon_->configDirectory();
  std::filesystem::create_directories(config + "/eq");
  std::ofstream(config + "/eq/studio cans.txt") << profileText;
  const auto correct = [&](const std::string& json) {
    std::ofstream(config + "/devices.json.new") << json;
    std::filesystem::rename(config + "/devices.json.new", config + "/devices.json");
  };
  correct(R"({"correction": {"headphones": "Studio Cans"}})");
  ASSERT_TRUE(eventually([&] { return onEqualizer("Music"); }, 5s))
      << pactl({"list", "short", "sinks"});
  EXPECT_EQ(eqSinks().size(), 1U);
  EXPECT_EQ(sinksOfClient(*server_, "Radio"), std::vector<std::string>{"speakers"});
  const std::string device = daemon_->ask({"app", "device", "get", "Music", "--json"});
  EXPECT_TRUE(contains(device, "\"uid\" : \"headphones\"")) << device;
  const std::string list = daemon_->ask({"app", "list", "--json"});
  EXPECT_TRUE(contains(list, "\"deviceUID\" : \"headphones\"")) << list;
  EXPECT_FALSE(contains(daemon_->ask({"device", "list"}), std::string(eqSinkPrefix)));

  const std::vector<double> through = toneLevels(chord, "headphones");
  const std::vector<double> elsewhere = toneLevels(chord, "speakers");
  ASSERT_EQ(through.size(), chord.size());
  ASSERT_EQ(elsewhere.size(), chord.size());
  std::ostringstream report;
  report << "correction on " << tag() << ":";
  for (std::size_t i = 0; i < chord.size(); ++i) {
    const double expected = profileChange(chord[i], rate_);
    report << " " << chord[i] << " Hz " << through[i] - direct[i] << " dB (" << expected << ")";
    EXPECT_NEAR(through[i] - direct[i], expected, 1.0) << chord[i] << " Hz, " << tag();
    EXPECT_NEAR(elsewhere[i] - directElsewhere[i], 0, 0.5)
        << "the other device at " << chord[i] << " Hz, " << tag();
  }
  std::cout << report.str() << '\n';
  RecordProperty("correction", report.str());

  // The app's own EQ comes first, then the correction.
  constexpr std::size_t band = 5;  // 1 kHz
  daemon_->ask({"app", "eq", "set", "Music", "vocal"});
  EXPECT_EQ(eqSinks().size(), 2U);
  const double both = toneLevels({frequencyOf(band)}, "headphones").at(0);
  const std::size_t at = static_cast<std::size_t>(
      std::find(chord.begin(), chord.end(), frequencyOf(band)) - chord.begin());
  EXPECT_NEAR(both - direct.at(at),
              gainsOf("vocal")[band] + profileChange(frequencyOf(band), rate_), 1.5)
      << tag();
  daemon_->ask({"app", "eq", "set", "Music", "off"});
  EXPECT_TRUE(eventually([&] { return eqSinks().size() == 1 && onEqualizer("Music"); }));

  // The device goes and comes back; a new stream there is corrected again.
  std::string module;
  std::istringstream table(pactl({"list", "short", "modules"}));
  for (std::string line; std::getline(table, line);) {
    if (contains(line, "module-null-sink") && contains(line, "sink_name=headphones ")) {
      module = line.substr(0, line.find('\t'));
    }
  }
  ASSERT_FALSE(module.empty()) << pactl({"list", "short", "modules"});
  players_.clear();
  pactl({"unload-module", module});
  EXPECT_TRUE(eventually([&] { return eqSinks().empty(); })) << pactl({"list", "short", "sinks"});
  pactl({"load-module", "module-null-sink", "sink_name=headphones",
         "sink_properties=device.description=Headphones"});
  ASSERT_TRUE(eventually([&] { return eqSinks().size() == 1; }, 5s))
      << pactl({"list", "short", "sinks"});
  playTones("Music", chord, 150, "headphones");
  ASSERT_TRUE(eventually([&] { return onEqualizer("Music"); }, 5s));
  const double back = toneLevels({chord[1]}, "headphones").at(0);
  EXPECT_NEAR(back - direct[1], profileChange(chord[1], rate_), 1.0) << "returned, " << tag();

  // The profile edited as an editor saves it: the correction follows.
  ASSERT_TRUE(editProfileFourDBQuieter(config + "/eq/studio cans.txt"));
  const double edited = toneLevels({chord[1]}, "headphones").at(0);
  EXPECT_NEAR(edited - direct[1], profileChange(chord[1], rate_) - 4, 1.0) << "edited, " << tag();

  // Without the correction the stream is back on the device itself.
  correct("{}");
  EXPECT_TRUE(eventually([&] { return eqSinks().empty(); }, 5s));
  EXPECT_EQ(sinksOfClient(*server_, "Music"), std::vector<std::string>{"headphones"});
}

INSTANTIATE_TEST_SUITE_P(BothServers, EqualizerEndToEndTest,
                         ::testing::Values(ServerKind::pulseAudio, ServerKind::pipeWire),
                         [](const auto& tested) { return nameOf(tested.param); });

}  // namespace
}  // namespace kestrune::daemon::testing
