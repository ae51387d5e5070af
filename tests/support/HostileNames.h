#pragma once
// A kestrune-sim state whose names come from hostile programs: one would
// retitle and clear the terminal, one would split its record in two, and
// others would turn their text around or start a control sequence. Its
// media is paused, so every answer about it stays the same.

#include <string>

namespace kestrune::testing {

inline const std::string hostileSimState = R"({
  "format": 1,
  "devices": [
    {"uid": "spk", "name": "\u001b]0;pwned\u0007\u001b[2J", "transportType": "Built-in",
     "hasInput": false, "hasOutput": true, "sampleRate": 48000, "volume": 50, "muted": false},
    {"uid": "mic", "name": "Mic\nphone", "transportType": "USB\u2066",
     "hasInput": true, "hasOutput": false, "sampleRate": 48000, "volume": 75, "muted": false}
  ],
  "defaultOutputUID": "spk",
  "defaultInputUID": "mic",
  "silentMode": false,
  "apps": [
    {"id": "1", "name": "\u001b]0;pwned\u0007\u001b[2J", "volume": 80, "muted": false,
     "balance": 0},
    {"id": "2", "name": "Two\nLines\r", "volume": 50, "muted": true, "deviceUID": "spk",
     "balance": 0},
    {"id": "3", "name": "\u202eevil\u2069", "bundleID": "org.example\u0085", "volume": 100,
     "muted": false, "eqPreset": "rock", "balance": 0}
  ],
  "profiles": [{"id": "p1", "name": "Night\u001b[8m", "entries": []}],
  "media": {"player": "mpv\r", "current": 0, "playing": false, "position": 10,
            "shuffle": false, "repeat": "off", "volume": 50,
            "queue": [{"title": "\u001b[2JTitle", "artist": "A\nB", "album": "\u202eAlbum",
                       "duration": 100}]},
  "bluetooth": [{"name": "Buds\u009b31m", "batteryLevel": 50, "connected": true}],
  "panelOpen": false,
  "cliInstalled": true
})";

}  // namespace kestrune::testing
