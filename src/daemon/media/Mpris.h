#pragma once
// What a media player publishes over MPRIS, read into plain values, and the
// conversions between MPRIS units and the protocol's.

#include <cstdint>
#include <optional>
#include <string>

#include "daemon/dbus/Value.h"
#include "protocol/CLIResponse.h"

namespace kestrune::daemon::media {

namespace mpris {
inline constexpr const char* busPrefix = "org.mpris.MediaPlayer2.";
inline constexpr const char* busNamespace = "org.mpris.MediaPlayer2";
inline constexpr const char* objectPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* rootInterface = "org.mpris.MediaPlayer2";
inline constexpr const char* playerInterface = "org.mpris.MediaPlayer2.Player";
}  // namespace mpris

struct Track {
  std::optional<std::string> title;
  std::optional<std::string> artist;  // the first one listed
  std::optional<std::string> album;
  std::optional<std::int64_t> lengthMicroseconds;
  std::optional<std::string> artUrl;  // the cover art (mpris:artUrl)
};

// The properties of org.mpris.MediaPlayer2.Player; absent ones the player
// did not publish.
struct PlayerState {
  std::optional<std::string> playbackStatus;  // Playing, Paused, Stopped
  std::optional<std::string> loopStatus;      // None, Track, Playlist
  std::optional<bool> shuffle;
  std::optional<double> volume;  // 0 to 1 (may exceed 1)
  std::optional<std::int64_t> positionMicroseconds;
  std::optional<bool> canControl;
  std::optional<bool> canPlay;
  std::optional<bool> canPause;
  std::optional<bool> canGoNext;
  std::optional<bool> canGoPrevious;
  std::optional<bool> canSeek;
  Track track;

  bool playing() const { return playbackStatus == "Playing"; }
};

PlayerState readPlayerState(const dbus::Value::Dict& properties);
Track readTrack(const dbus::Value& metadata);

// A capability the player denies outright. A capability it does not
// publish is tried (and its error reported).
inline bool denied(const std::optional<bool>& capability) {
  return capability.has_value() && !*capability;
}

CLIMediaInfo mediaInfo(const PlayerState& state, const std::string& player);

// None -> Playlist -> Track -> None; anything unknown counts as None.
std::string nextLoopStatus(const std::string& loopStatus);
// The repeat modes as users name them: off, all, one.
std::string repeatName(const std::string& loopStatus);

// MPRIS volume (1 = full) in percent, to the nearest hundredth.
double volumePercent(double volume);

// The Seek offset for skipping `seconds` (negative: backward) from
// `position`: never before the start of the track.
std::int64_t seekOffset(double seconds, std::optional<std::int64_t> positionMicroseconds);

}  // namespace kestrune::daemon::media
