#pragma once
// The feed's state read from the answers that one-shot clients get, so that
// it always agrees with them: getStatus, listDevices and listApps for the
// audio part, getMediaInfo for media, listBluetooth for Bluetooth. A failed
// answer empties its part and gives its error as the reason.

#include <functional>

#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"
#include "protocol/Feed.h"

namespace kestrune::server {

using Ask = std::function<CLIResponse(const CLICommand&)>;

// `outOfReach` is the status while the sound server is out of reach (what
// the application knows without it).
void readAudioPart(FeedState& state, const Ask& ask, const CLIStatusInfo& outOfReach);
void readMediaPart(FeedState& state, const Ask& ask);
void readBluetoothPart(FeedState& state, const Ask& ask);

}  // namespace kestrune::server
