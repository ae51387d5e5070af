#pragma once
// How the simulated media player moves through its queue: wall time passing,
// track ends under the repeat and shuffle modes, and the transport buttons.

#include <random>

#include "sim/StateModel.h"

namespace kestrune::sim {

using ShuffleRandom = std::minstd_rand;

// Seconds skipped back by "previous" restart the track instead of going to
// the previous one once the position is past this.
inline constexpr double restartThreshold = 3;

// Lets `elapsed` seconds of playback pass (nothing while paused).
void advance(SimMedia& media, double elapsed, ShuffleRandom& random);

void togglePlayPause(SimMedia& media);
void skipToNext(SimMedia& media, ShuffleRandom& random);
void skipToPrevious(SimMedia& media);
// Moves the position by `seconds` (negative: backward). Past the end of the
// track playback goes on as if the track had ended; before the start it
// stops at 0.
void seek(SimMedia& media, double seconds, ShuffleRandom& random);
void toggleShuffle(SimMedia& media);
// off -> all -> one -> off
void cycleRepeat(SimMedia& media);

const char* repeatModeName(RepeatMode mode);  // "off", "all", "one"

}  // namespace kestrune::sim
