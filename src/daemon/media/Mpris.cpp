#include "daemon/media/Mpris.h"

#include <algorithm>
#include <cmath>

namespace kestrune::daemon::media {

namespace {

constexpr double microsecondsPerSecond = 1'000'000;

std::optional<bool> booleanOf(const dbus::Value::Dict& properties, const char* name) {
  const auto found = properties.find(name);
  return found == properties.end() ? std::nullopt : found->second.boolean();
}

std::optional<std::string> stringOf(const dbus::Value* value) {
  if (value == nullptr) {
    return std::nullopt;
  }
  auto text = value->string();
  if (text && text->empty()) {
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> stringOf(const dbus::Value::Dict& properties, const char* name) {
  const auto found = properties.find(name);
  return found == properties.end() ? std::nullopt : stringOf(&found->second);
}

std::optional<std::int64_t> integerOf(const dbus::Value* value) {
  if (value == nullptr) {
    return std::nullopt;
  }
  if (auto whole = value->integer()) {
    return whole;
  }
  // Some players send the length as a double.
  if (auto number = value->number(); number && std::isfinite(*number)) {
    return static_cast<std::int64_t>(*number);
  }
  return std::nullopt;
}

double seconds(std::int64_t microseconds) {
  return static_cast<double>(microseconds) / microsecondsPerSecond;
}

}  // namespace

Track readTrack(const dbus::Value& metadata) {
  Track track;
  track.title = stringOf(metadata.find("xesam:title"));
  track.album = stringOf(metadata.find("xesam:album"));
  if (const dbus::Value* artists = metadata.find("xesam:artist")) {
    for (const std::string& artist : artists->strings()) {
      if (!artist.empty()) {
        track.artist = artist;
        break;
      }
    }
  }
  track.lengthMicroseconds = integerOf(metadata.find("mpris:length"));
  track.artUrl = stringOf(metadata.find("mpris:artUrl"));
  return track;
}

PlayerState readPlayerState(const dbus::Value::Dict& properties) {
  PlayerState state;
  state.playbackStatus = stringOf(properties, "PlaybackStatus");
  state.loopStatus = stringOf(properties, "LoopStatus");
  state.shuffle = booleanOf(properties, "Shuffle");
  if (const auto found = properties.find("Volume"); found != properties.end()) {
    state.volume = found->second.number();
  }
  if (const auto found = properties.find("Position"); found != properties.end()) {
    state.positionMicroseconds = integerOf(&found->second);
  }
  state.canControl = booleanOf(properties, "CanControl");
  state.canPlay = booleanOf(properties, "CanPlay");
  state.canPause = booleanOf(properties, "CanPause");
  state.canGoNext = booleanOf(properties, "CanGoNext");
  state.canGoPrevious = booleanOf(properties, "CanGoPrevious");
  state.canSeek = booleanOf(properties, "CanSeek");
  if (const auto found = properties.find("Metadata"); found != properties.end()) {
    state.track = readTrack(found->second);
  }
  return state;
}

CLIMediaInfo mediaInfo(const PlayerState& state, const std::string& player) {
  CLIMediaInfo info;
  info.title = state.track.title;
  info.artist = state.track.artist;
  info.album = state.track.album;
  info.player = player;
  info.isPlaying = state.playing();
  if (state.positionMicroseconds && *state.positionMicroseconds >= 0) {
    info.position = seconds(*state.positionMicroseconds);
  }
  if (state.track.lengthMicroseconds && *state.track.lengthMicroseconds > 0) {
    info.duration = seconds(*state.track.lengthMicroseconds);
  }
  if (state.volume) {
    info.volume = volumePercent(*state.volume);
  }
  return info;
}

std::string nextLoopStatus(const std::string& loopStatus) {
  if (loopStatus == "Playlist") {
    return "Track";
  }
  if (loopStatus == "Track") {
    return "None";
  }
  return "Playlist";
}

std::string repeatName(const std::string& loopStatus) {
  if (loopStatus == "Playlist") {
    return "all";
  }
  if (loopStatus == "Track") {
    return "one";
  }
  return "off";
}

double volumePercent(double volume) {
  return std::round(volume * 100 * 100) / 100;
}

std::int64_t seekOffset(double seconds, std::optional<std::int64_t> positionMicroseconds) {
  // Far beyond any track, and safely inside int64 after adding a position.
  constexpr double limit = 1e18;
  const double wanted = std::clamp(seconds * microsecondsPerSecond, -limit, limit);
  auto offset = static_cast<std::int64_t>(std::llround(wanted));
  if (positionMicroseconds && *positionMicroseconds + offset < 0) {
    offset = -std::max<std::int64_t>(*positionMicroseconds, 0);
  }
  return offset;
}

}  // namespace kestrune::daemon::media
