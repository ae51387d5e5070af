#pragma once
// The simulated application's answers: every request served from one
// in-memory state that changes as requests change it, optionally saved to a
// file after each change.

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "server/Feed.h"
#include "server/RequestHandler.h"
#include "sim/MediaPlayer.h"
#include "sim/StateModel.h"

namespace kestrune::sim {

class SimulatedState final : public server::RequestHandler {
 public:
  // Seconds on a steady clock; playback position follows it.
  using Clock = std::function<double()>;

  struct Options {
    // Every change is written here (atomically) before it is answered; a
    // change that cannot be saved is not made.
    std::optional<std::string> stateFile;
    Clock clock;  // the steady clock when empty
    // Subscribers follow the state here; each change is published as made.
    server::Feed* feed = nullptr;
  };

  explicit SimulatedState(StateModel initial = defaultState());
  SimulatedState(StateModel initial, Options options);

  CLIResponse handle(const CLICommand& command) override;

  // A copy of the current state, with playback brought up to date.
  StateModel snapshot();

 private:
  void catchUpWithClock();
  void publishChanges();

  std::mutex mutex_;
  StateModel model_;
  Options options_;
  double lastTick_ = 0;
  ShuffleRandom random_;
};

}  // namespace kestrune::sim
