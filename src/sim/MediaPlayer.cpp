#include "sim/MediaPlayer.h"

#include <algorithm>
#include <cmath>

namespace kestrune::sim {

namespace {

const SimTrack* currentTrack(const SimMedia& media) {
  return media.current < media.queue.size() ? &media.queue[media.current] : nullptr;
}

std::size_t randomOtherTrack(const SimMedia& media, ShuffleRandom& random) {
  const std::size_t n = media.queue.size();
  if (n < 2) {
    return 0;
  }
  std::uniform_int_distribution<std::size_t> pick(1, n - 1);
  return (media.current + pick(random)) % n;
}

// The track that follows the current one when it ends by itself; nothing
// when playback stops at the end of the queue.
std::optional<std::size_t> followingTrack(const SimMedia& media, ShuffleRandom& random) {
  if (media.repeat == RepeatMode::one) {
    return media.current;
  }
  if (media.shuffle) {
    return randomOtherTrack(media, random);
  }
  if (media.current + 1 < media.queue.size()) {
    return media.current + 1;
  }
  if (media.repeat == RepeatMode::all) {
    return 0;
  }
  return std::nullopt;
}

// Carries a position past the end of the current track into the tracks
// that follow.
void settle(SimMedia& media, ShuffleRandom& random) {
  while (const SimTrack* track = currentTrack(media)) {
    if (track->duration <= 0 || media.position < track->duration) {
      return;
    }
    const double overflow = media.position - track->duration;
    const auto next = followingTrack(media, random);
    if (!next) {
      media.current = 0;
      media.position = 0;
      media.playing = false;
      return;
    }
    media.current = *next;
    media.position = media.playing ? overflow : 0;
  }
}

}  // namespace

void advance(SimMedia& media, double elapsed, ShuffleRandom& random) {
  if (!media.playing || !(elapsed > 0) || currentTrack(media) == nullptr) {
    return;
  }
  if (media.repeat == RepeatMode::one) {
    // A track looping by itself: no need to walk through every loop.
    const double duration = media.queue[media.current].duration;
    media.position =
        duration > 0 ? std::fmod(media.position + elapsed, duration) : media.position + elapsed;
    return;
  }
  media.position += elapsed;
  settle(media, random);
}

void togglePlayPause(SimMedia& media) {
  media.playing = !media.playing;
}

void skipToNext(SimMedia& media, ShuffleRandom& random) {
  if (media.queue.empty()) {
    return;
  }
  media.current =
      media.shuffle ? randomOtherTrack(media, random) : (media.current + 1) % media.queue.size();
  media.position = 0;
}

void skipToPrevious(SimMedia& media) {
  if (media.queue.empty()) {
    return;
  }
  if (media.position <= restartThreshold) {
    media.current = (media.current + media.queue.size() - 1) % media.queue.size();
  }
  media.position = 0;
}

void seek(SimMedia& media, double seconds, ShuffleRandom& random) {
  if (currentTrack(media) == nullptr) {
    return;
  }
  media.position = std::max(0.0, media.position + seconds);
  // Skipping past the end counts as the track ending: the next one starts
  // from the beginning, or playback stops at the end of the queue.
  const double duration = media.queue[media.current].duration;
  if (duration > 0 && media.position >= duration) {
    media.position = duration;
    settle(media, random);
  }
}

void toggleShuffle(SimMedia& media) {
  media.shuffle = !media.shuffle;
}

void cycleRepeat(SimMedia& media) {
  switch (media.repeat) {
    case RepeatMode::off:
      media.repeat = RepeatMode::all;
      break;
    case RepeatMode::all:
      media.repeat = RepeatMode::one;
      break;
    case RepeatMode::one:
      media.repeat = RepeatMode::off;
      break;
  }
}

const char* repeatModeName(RepeatMode mode) {
  switch (mode) {
    case RepeatMode::off:
      return "off";
    case RepeatMode::all:
      return "all";
    case RepeatMode::one:
      return "one";
  }
  return "off";
}

}  // namespace kestrune::sim
