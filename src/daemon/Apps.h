#pragma once
// Applications as users see them: the playback streams of one program,
// grouped by its identity.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "daemon/pulse/SoundServer.h"

namespace kestrune::daemon {

struct App {
  std::string id;  // application.id, else application.name, else the binary
  std::string name;
  std::optional<std::string> bundleID;  // application.id when the streams carry one
  std::string binary;
  std::vector<Stream> streams;

  double volume() const;   // mean over the streams, percent
  double balance() const;  // mean over the streams, -1 to 1
  bool muted() const;      // every stream muted
  // Whether the user's word names this app (id, name, bundle ID or binary,
  // ignoring case).
  bool answersTo(std::string_view word) const;
};

// The identity of a stream's program, or nothing for a stream that belongs
// to no program (a server module's, or the daemon's own).
std::optional<std::string> appIdentity(const Stream& stream, const SoundState& state);

// Every app with playback streams, in the order their first streams appeared.
std::vector<App> appsOf(const SoundState& state);

// The app the word names. Throws RequestFailure listing the running apps.
App requireApp(const SoundState& state, std::string_view word);

}  // namespace kestrune::daemon
