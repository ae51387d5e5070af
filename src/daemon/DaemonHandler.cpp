#include "daemon/DaemonHandler.h"

#include <future>

#include "daemon/bluetooth/BluetoothService.h"
#include "daemon/media/MediaService.h"
#include "daemon/panel/PanelToggle.h"
#include "server/FeedParts.h"

namespace kestrune::daemon {

namespace {

CLIResponse failure(std::string error) {
  return CLIResponse{false, std::nullopt, std::move(error), std::nullopt};
}

// For a request still queued when its client stopped waiting: it is not
// carried out, as the client has already reported a failure.
CLIResponse notStartedInTime() {
  return failure("Not done: the request waited longer than its client does; try again.");
}

CLIResponse internalError(const std::exception& error) {
  return failure(std::string("Internal error: ") + error.what());
}

// Runs an answer, turning what escapes it into a failure reply.
template <class Answer>
CLIResponse guarded(Answer answer) {
  try {
    return answer();
  } catch (const std::exception& error) {
    return internalError(error);
  }
}

}  // namespace

DaemonHandler::DaemonHandler(AudioRequests& audio, media::MediaService* media,
                             bluetooth::BluetoothService* bluetooth, panel::PanelToggle* panel)
    : audio_(audio),
      media_(media),
      bluetooth_(bluetooth),
      panel_(panel),
      mediaWorker_(std::make_unique<Worker>("kestruned-media")),
      bluetoothWorker_(std::make_unique<Worker>("kestruned-bt")),
      panelWorker_(std::make_unique<Worker>("kestruned-panel")),
      audioWorker_(std::make_unique<Worker>("kestruned-audio")) {}

DaemonHandler::~DaemonHandler() = default;

CLIResponse DaemonHandler::handle(const CLICommand& command) {
  std::promise<CLIResponse> answered;
  auto answer = answered.get_future();
  begin(command, [&answered](CLIResponse response) { answered.set_value(std::move(response)); });
  return answer.get();
}

void DaemonHandler::begin(const CLICommand& command, Reply reply) {
  beginBefore(command, Worker::Clock::time_point::max(), std::move(reply));
}

void DaemonHandler::beginBefore(const CLICommand& command, Worker::Clock::time_point deadline,
                                Reply reply) {
  if (std::holds_alternative<CLICommand::ListBluetooth>(command.value)) {
    bluetoothWorker_->post(
        [this, reply = std::move(reply)] { reply(guarded([&] { return answerBluetooth(); })); });
  } else if (std::holds_alternative<CLICommand::TogglePanel>(command.value)) {
    panelWorker_->post(
        [this, reply = std::move(reply)] { reply(guarded([&] { return answerPanel(); })); });
  } else if (audio_.answersAtOnce(command)) {
    // Reads of the picture need no trip through the worker (and no wait
    // behind a change in progress); the picture is consistent at any time.
    reply(guarded([&] { return audio_.answer(command); }));
  } else if (AudioRequests::answers(command)) {
    audioWorker_->post(
        [this, command, reply] {
          reply(guarded([&] { return audio_.answer(command); }));
          // Not every change shows in the sound server's events (silent mode,
          // an app's remembered settings).
          audioChanged();
        },
        deadline, [reply] { reply(notStartedInTime()); });
  } else {
    mediaWorker_->post(
        [this, command, reply] { reply(guarded([&] { return answerMedia(command); })); }, deadline,
        [reply] { reply(notStartedInTime()); });
  }
}

void DaemonHandler::publishTo(server::Feed& feed) {
  feed_.store(&feed);
  audioChanged();
}

void DaemonHandler::audioChanged() {
  if (feed_.load() == nullptr) {
    return;
  }
  // The latest of the queued reads always runs: it comes after every job
  // posted before it, so no change is left unpublished. Earlier ones run
  // only while changes keep coming for longer than a frame, so a burst
  // costs one read and a steady stream still shows.
  const std::uint64_t change = ++latestAudioChange_;
  audioWorker_->post([this, change] {
    const auto now = std::chrono::steady_clock::now();
    if (change == latestAudioChange_.load() || now - lastPublished_ >= publishInterval) {
      lastPublished_ = now;
      publishAudio();
    }
  });
}

void DaemonHandler::publishAudio() {
  FeedState part;
  server::readAudioPart(
      part,
      [this](const CLICommand& request) { return guarded([&] { return audio_.answer(request); }); },
      audio_.statusOutOfReach());
  part.appIcons = audio_.appIcons();
  feed_.load()->update([&part](FeedState& state) {
    state.status = std::move(part.status);
    state.devices = std::move(part.devices);
    state.apps = std::move(part.apps);
    state.appIcons = std::move(part.appIcons);
    state.statusUnavailable = std::move(part.statusUnavailable);
  });
}

void DaemonHandler::postAudio(std::function<void()> job) {
  audioWorker_->post(std::move(job));
}

void DaemonHandler::runOnAudio(const std::function<void()>& job) {
  std::promise<void> done;
  audioWorker_->post([&] {
    job();
    done.set_value();
  });
  done.get_future().wait();
}

CLIResponse DaemonHandler::answerMedia(const CLICommand& command) {
  if (media_ == nullptr) {
    return failure("Media control is not available: there is no session bus.");
  }
  return media_->answer(command);
}

CLIResponse DaemonHandler::answerBluetooth() {
  if (bluetooth_ == nullptr) {
    return failure("Bluetooth is unavailable: BlueZ is not running.");
  }
  return bluetooth_->listBluetooth();
}

CLIResponse DaemonHandler::answerPanel() {
  if (panel_ == nullptr) {
    return failure("There is no menu panel: kestruned was started without one.");
  }
  return panel_->toggle();
}

}  // namespace kestrune::daemon
