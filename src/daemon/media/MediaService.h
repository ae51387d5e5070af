#pragma once
// Media control over MPRIS on the session bus: the user's players
// (browsers, music players, video players) answer the media requests.
//
// Threads: answer() may be called from any thread; calls are serialised.
// The bus is read only inside answer(): signals that arrived meanwhile
// (players appearing, leaving, starting and stopping) are applied in order
// before each answer, so an idle service never wakes up.

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon::media {

class MediaService {
 public:
  struct Options {
    // The bus to use; the session bus when absent.
    std::optional<std::string> busAddress;
    // The longest one answer takes, whatever the player does.
    std::chrono::milliseconds answerTime{1800};
    // How long an answer waits for a player to show the effect of a
    // command (a status, track or position change) before reading it.
    std::chrono::milliseconds settleTime{500};
  };

  // Connects without waiting for the bus; never throws. Without a session
  // bus every answer fails with a reason (and a later answer connects if
  // the bus has appeared).
  MediaService();
  explicit MediaService(Options options);
  ~MediaService();
  MediaService(const MediaService&) = delete;
  MediaService& operator=(const MediaService&) = delete;

  // Answers mediaPlayPause, mediaNext, mediaPrevious, mediaForward,
  // mediaBackward, mediaShuffle, mediaRepeat, getMediaVolume,
  // setMediaVolume and getMediaInfo; any other request gets success false.
  CLIResponse answer(const CLICommand& command);

  class Impl;

 private:
  std::mutex mutex_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrune::daemon::media
