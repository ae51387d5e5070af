#pragma once
// Answers the daemon's requests through the server's seam, each source on
// its own worker: the sound server's requests never wait behind a media
// player or Bluetooth, nor the other way round. The server's thread only
// hands requests over.

#include <memory>

#include "daemon/AudioRequests.h"
#include "daemon/Worker.h"
#include "server/RequestHandler.h"

namespace kestrune::daemon::media {
class MediaService;
}
namespace kestrune::daemon::bluetooth {
class BluetoothService;
}

namespace kestrune::daemon {

class DaemonHandler final : public server::RequestHandler {
 public:
  // Media and Bluetooth may be absent (their requests then fail with a reason).
  DaemonHandler(AudioRequests& audio, media::MediaService* media,
                bluetooth::BluetoothService* bluetooth);
  DaemonHandler(const DaemonHandler&) = delete;
  DaemonHandler& operator=(const DaemonHandler&) = delete;
  ~DaemonHandler() override;

  // Synchronous, for tests and tools: waits for the worker.
  CLIResponse handle(const CLICommand& command) override;
  void begin(const CLICommand& command, Reply reply) override;

  // Work for the audio worker from elsewhere (the sound server's events).
  void postAudio(std::function<void()> job);
  // Runs `job` on the audio worker and waits for it (at shutdown).
  void runOnAudio(const std::function<void()>& job);

 private:
  CLIResponse answerMedia(const CLICommand& command);
  CLIResponse answerBluetooth();

  AudioRequests& audio_;
  media::MediaService* media_;
  bluetooth::BluetoothService* bluetooth_;
  // Declared last: they stop (finishing their queues) before the rest goes.
  std::unique_ptr<Worker> mediaWorker_;
  std::unique_ptr<Worker> bluetoothWorker_;
  std::unique_ptr<Worker> audioWorker_;
};

}  // namespace kestrune::daemon
