#pragma once
// The sound server through libpulse, which PulseAudio and PipeWire's pulse
// server both speak. One connection, kept on libpulse's own thread with a
// subscription to the server's events; the picture is updated by those
// events, never by polling. A lost server is retried until it is back.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "daemon/pulse/SoundServer.h"

namespace kestrune::daemon {

class PulseSoundServer final : public SoundServer {
 public:
  // Called on libpulse's thread; must return quickly and must not call back
  // into this object.
  using Observer = std::function<void(const SoundEvent&)>;
  // One line per notable event (connected, lost).
  using Log = std::function<void(const std::string&)>;

  // Starts connecting at once; an absent server is not an error.
  PulseSoundServer(Observer observer, Log log);
  PulseSoundServer(const PulseSoundServer&) = delete;
  PulseSoundServer& operator=(const PulseSoundServer&) = delete;
  ~PulseSoundServer() override;

  // Waits, at most `limit`, until the first attempt to connect has either
  // succeeded or failed.
  void waitForFirstAttempt(std::chrono::milliseconds limit);

  SoundState snapshot() override;
  bool ready() override;
  void setDeviceVolume(bool input, const std::string& name, double percent) override;
  void setDeviceMute(bool input, const std::string& name, bool muted) override;
  void setDefaultDevice(bool input, const std::string& name) override;
  void setStreamVolume(std::uint32_t stream, double percent) override;
  void setStreamMute(std::uint32_t stream, bool muted) override;
  void moveStream(std::uint32_t stream, const std::string& sinkName) override;
  std::uint32_t loadModule(const std::string& name, const std::string& arguments) override;
  void unloadModule(std::uint32_t module) override;
  std::vector<std::string> restore(const std::vector<Move>& moves,
                                   const std::vector<std::uint32_t>& modules) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrune::daemon
