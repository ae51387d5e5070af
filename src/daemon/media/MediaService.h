#pragma once
// Media control over MPRIS on the session bus: the user's players
// (browsers, music players, video players) answer the media requests.
//
// Threads: answer() may be called from any thread; calls are serialised.
// Without follow(), the bus is read only inside answer(): signals that
// arrived meanwhile (players appearing, leaving, starting and stopping) are
// applied in order before each answer, so an idle service never wakes up.
// With follow(), a thread of the service's own reads them as they arrive
// (under the same lock as the answers), and sleeps while the bus is quiet.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "daemon/dbus/Watch.h"
#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon::media {

// Why the now-playing cannot be told.
inline constexpr const char* noSessionBus =
    "Media control is not available: there is no session bus.";

// What is playing, as getMediaInfo would answer it (the same player, the
// same members) but without the position, which changes continuously.
struct NowPlaying {
  // Empty when no player runs (or the bus is out of reach).
  std::optional<CLIMediaInfo> media;
  // The player's cover art (its mpris:artUrl), when it gives one.
  std::optional<std::string> artUrl;
  // Set (to noSessionBus) while there is no session bus.
  std::optional<std::string> unavailable;

  friend bool operator==(const NowPlaying& a, const NowPlaying& b);
};

using NowPlayingObserver = std::function<void(const NowPlaying&)>;

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

  // Starts following the now-playing: the observer gets it once known, then
  // each time it changes (a track, the play state, the volume, a player
  // appearing or leaving, another player becoming the current one, the
  // session bus going or coming back). It is called on the service's own
  // thread, never with the service's lock held, and never after the
  // service's destructor has returned. Returns false when already following
  // or when the thread cannot be started.
  bool follow(NowPlayingObserver observer);
  // How many times the following thread has woken up (for tests: a quiet
  // bus must leave it asleep).
  std::uint64_t followWakeUps() const;

  class Impl;

 private:
  dbus::FollowedService<Impl, NowPlaying> service_;
};

}  // namespace kestrune::daemon::media
