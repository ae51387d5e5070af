#pragma once
// Answers the daemon's requests through the server's seam, each source on
// its own worker: the sound server's requests never wait behind a media
// player or Bluetooth, nor the other way round. The server's thread only
// hands requests over.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "daemon/AudioRequests.h"
#include "daemon/Worker.h"
#include "server/Feed.h"
#include "server/RequestHandler.h"

namespace kestrune::daemon::media {
class MediaService;
}
namespace kestrune::daemon::bluetooth {
class BluetoothService;
}
namespace kestrune::daemon::panel {
class PanelToggle;
}

namespace kestrune::daemon {

class DaemonHandler final : public server::RequestHandler {
 public:
  // Media, Bluetooth and the panel may be absent (their requests then fail
  // with a reason).
  DaemonHandler(AudioRequests& audio, media::MediaService* media,
                bluetooth::BluetoothService* bluetooth, panel::PanelToggle* panel = nullptr);
  DaemonHandler(const DaemonHandler&) = delete;
  DaemonHandler& operator=(const DaemonHandler&) = delete;
  ~DaemonHandler() override;

  // Synchronous, for tests and tools: waits for the worker.
  CLIResponse handle(const CLICommand& command) override;
  void begin(const CLICommand& command, Reply reply) override;
  // Audio and media requests not started by the deadline are dropped.
  void beginBefore(const CLICommand& command, Worker::Clock::time_point deadline,
                   Reply reply) override;

  // Publishes the audio part of the state (status, devices, apps) to the
  // feed from now on, read again after every change.
  void publishTo(server::Feed& feed);
  // Something the audio part shows may have changed (a sound server event,
  // from any thread): it is read again on the audio worker after every job
  // posted so far, once however many calls come meanwhile.
  void audioChanged();

  // Work for the audio worker from elsewhere (the sound server's events).
  void postAudio(std::function<void()> job);
  // Runs `job` on the audio worker and waits for it (at shutdown).
  void runOnAudio(const std::function<void()>& job);

 private:
  CLIResponse answerMedia(const CLICommand& command);
  CLIResponse answerBluetooth();
  CLIResponse answerPanel();
  void publishAudio();

  AudioRequests& audio_;
  media::MediaService* media_;
  bluetooth::BluetoothService* bluetooth_;
  panel::PanelToggle* panel_;
  std::atomic<server::Feed*> feed_{nullptr};
  std::atomic<std::uint64_t> latestAudioChange_{0};
  // On the audio worker only.
  static constexpr std::chrono::milliseconds publishInterval{40};
  std::chrono::steady_clock::time_point lastPublished_;
  // Declared last: they stop (finishing their queues) before the rest goes.
  std::unique_ptr<Worker> mediaWorker_;
  std::unique_ptr<Worker> bluetoothWorker_;
  // A panel that is slow to answer or to start holds up only the panel.
  std::unique_ptr<Worker> panelWorker_;
  std::unique_ptr<Worker> audioWorker_;
};

}  // namespace kestrune::daemon
