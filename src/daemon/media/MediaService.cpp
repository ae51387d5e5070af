#include "daemon/media/MediaService.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "daemon/dbus/Bus.h"
#include "daemon/dbus/Watch.h"
#include "daemon/media/Mpris.h"
#include "daemon/media/PlayerRegistry.h"

namespace kestrune::daemon::media {

namespace {

using dbus::Clock;
using Data = CLIResponseData;

const char* busDaemon = "org.freedesktop.DBus";
const char* busPath = "/org/freedesktop/DBus";

// How long an answer gives a player that has just appeared to say whether
// it is playing and what it is called, before going on without it.
constexpr std::chrono::milliseconds newPlayerWait{500};

// A quiet spell after a change that ends the wait for more of it.
constexpr std::chrono::milliseconds settlePause{100};

// While the session bus is absent, the following thread tries to connect
// again after these pauses, doubling from the first to the last.
constexpr std::chrono::milliseconds firstRetry{100};
constexpr std::chrono::milliseconds lastRetry{5000};

// The player properties a now-playing shows; a player that invalidates one
// of them is asked for its state again.
bool shownProperty(const std::string& property) {
  return property == "PlaybackStatus" || property == "Metadata" || property == "Volume";
}

bool sameMedia(const CLIMediaInfo& a, const CLIMediaInfo& b) {
  return std::tie(a.title, a.artist, a.album, a.player, a.isPlaying, a.position, a.duration,
                  a.volume) == std::tie(b.title, b.artist, b.album, b.player, b.isPlaying,
                                        b.position, b.duration, b.volume);
}

CLIResponse failure(std::string error) {
  return CLIResponse{false, std::nullopt, std::move(error), std::nullopt};
}

CLIResponse note(std::string message) {
  return CLIResponse{true, std::nullopt, std::nullopt, std::move(message)};
}

CLIResponse answerWith(Data::Case data, std::optional<std::string> message = std::nullopt) {
  return CLIResponse{true, Data{std::move(data)}, std::nullopt, std::move(message)};
}

std::string shortName(const std::string& busName) {
  const std::string prefix = mpris::busPrefix;
  return busName.rfind(prefix, 0) == 0 ? busName.substr(prefix.size()) : busName;
}

std::string secondsText(double seconds) {
  std::ostringstream text;
  text << seconds << (seconds == 1 ? " second" : " seconds");
  return text.str();
}

bool refusedChange(const dbus::Error& error) {
  return error.unknownMember() || error.is(dbus::errorNames::propertyReadOnly) ||
         error.is(dbus::errorNames::accessDenied) || error.is(dbus::errorNames::notSupported) ||
         error.is(dbus::errorNames::invalidArgs);
}

bool playerGone(const dbus::Error& error) {
  return error.is(dbus::errorNames::serviceUnknown) || error.is(dbus::errorNames::nameHasNoOwner);
}

template <class Request>
constexpr bool isMediaCase = std::is_same_v<Request, CLICommand::MediaPlayPause> ||
                             std::is_same_v<Request, CLICommand::MediaNext> ||
                             std::is_same_v<Request, CLICommand::MediaPrevious> ||
                             std::is_same_v<Request, CLICommand::MediaForward> ||
                             std::is_same_v<Request, CLICommand::MediaBackward> ||
                             std::is_same_v<Request, CLICommand::MediaShuffle> ||
                             std::is_same_v<Request, CLICommand::MediaRepeat> ||
                             std::is_same_v<Request, CLICommand::GetMediaVolume> ||
                             std::is_same_v<Request, CLICommand::SetMediaVolume> ||
                             std::is_same_v<Request, CLICommand::GetMediaInfo>;

bool isMediaRequest(const CLICommand& command) {
  return std::visit(
      [](const auto& request) { return isMediaCase<std::decay_t<decltype(request)>>; },
      command.value);
}

// The player a request goes to, and the name the answers use for it.
struct Target {
  PlayerRef ref;
  std::string name;
  Clock::time_point deadline;
};

}  // namespace

class MediaService::Impl {
 public:
  explicit Impl(Options options) : options_(std::move(options)) { connectError_ = connect(); }

  // One round of following: connects if needed (after a pause while the
  // bus is absent), applies what the bus said, and tells what is playing
  // once the players on the bus are known. Returns what to wait for next.
  dbus::Wait follow(std::optional<NowPlaying>& now) {
    const dbus::Wait wait = loop_.round(bus_, connectError_);
    if (wait.bus) {
      loop_.backoff().resetDelay();
      if (playersKnown()) {
        now = currentlyPlaying();
      }
    }
    return wait;
  }

  CLIResponse answer(const CLICommand& command) {
    if (!isMediaRequest(command)) {
      return failure("Not a media request.");
    }
    const Clock::time_point deadline = Clock::now() + options_.answerTime;
    if (auto problem = prepare(deadline)) {
      return failure(std::move(*problem));
    }
    auto player = registry_.current();
    if (!player) {
      return failure("No media player is running.");
    }
    Target target{*player, nameOf(*player), deadline};
    events_.clear();
    return std::visit(
        [this, &target](const auto& request) -> CLIResponse {
          if constexpr (isMediaCase<std::decay_t<decltype(request)>>) {
            return run(request, target);
          } else {
            return failure("Not a media request.");
          }
        },
        command.value);
  }

 private:
  struct PendingQuery {
    dbus::Slot slot;
    Clock::time_point started;
  };

  // Connection and the view of the bus kept from its signals.

  std::optional<dbus::Error> connect() {
    auto bus =
        options_.busAddress ? dbus::Bus::atAddress(*options_.busAddress) : dbus::Bus::session();
    if (!bus) {
      return bus.error();
    }
    bus_.emplace(std::move(bus).value());
    auto subscribed = subscribe();
    if (!subscribed) {
      disconnect();
      return subscribed.error();
    }
    auto listing =
        bus_->callAsync({busDaemon, busPath, busDaemon, "ListNames", {}}, options_.answerTime,
                        [this](dbus::Result<dbus::Message> reply) { onNames(reply); });
    if (!listing) {
      disconnect();
      return listing.error();
    }
    listing_ = std::move(listing).value();
    return std::nullopt;
  }

  dbus::Status subscribe() {
    const std::vector<std::pair<std::string, dbus::Bus::SignalHandler>> matches = {
        {dbus::signalRule({{"sender", busDaemon},
                           {"interface", busDaemon},
                           {"member", "NameOwnerChanged"},
                           {"arg0namespace", mpris::busNamespace}}),
         [this](dbus::Message& signal) { onNameOwnerChanged(signal); }},
        {dbus::signalRule({{"interface", "org.freedesktop.DBus.Properties"},
                           {"member", "PropertiesChanged"},
                           {"path", mpris::objectPath},
                           {"arg0", mpris::playerInterface}}),
         [this](dbus::Message& signal) { onPropertiesChanged(signal); }},
        {dbus::signalRule({{"interface", mpris::playerInterface},
                           {"member", "Seeked"},
                           {"path", mpris::objectPath}}),
         [this](dbus::Message& signal) { events_.emplace_back(signal.sender(), "Seeked"); }},
    };
    for (const auto& [rule, handler] : matches) {
      auto slot = bus_->matchSignal(rule, handler);
      if (!slot) {
        return slot.error();
      }
      matches_.push_back(std::move(slot).value());
    }
    return dbus::Done{};
  }

  void disconnect() {
    matches_.clear();
    listing_.reset();
    ownerQueries_.clear();
    statusQueries_.clear();
    identityQueries_.clear();
    identities_.clear();
    properties_.clear();
    registry_.clear();
    listed_ = false;
    bus_.reset();
  }

  // Connects if needed and applies what the bus said since the last answer.
  // A connection found broken is made again once (the bus may have been
  // restarted). Returns why media control is unavailable, if it is.
  std::optional<std::string> prepare(Clock::time_point deadline) {
    for (int attempt = 0;; ++attempt) {
      if (!loop_.connected(bus_, connectError_)) {
        return "Media control is unavailable: " + connectError_->message + ".";
      }
      auto synced = catchUp(deadline);
      if (synced) {
        return std::nullopt;
      }
      disconnect();
      if (synced.error().timedOut()) {
        return "Media control is unavailable: " + synced.error().message;
      }
      if (attempt > 0) {
        return "Media control is unavailable: " + synced.error().message + ".";
      }
    }
  }

  // Waits for the first list of players, and briefly for players that have
  // just appeared to say whether they play.
  dbus::Status catchUp(Clock::time_point deadline) {
    auto processed = bus_->processPending();
    while (processed && !(listed_ && ownerQueries_.empty())) {
      if (Clock::now() >= deadline) {
        return dbus::Error{std::string(dbus::errorNames::timeout),
                           "the session bus did not answer."};
      }
      processed = bus_->waitUntil(deadline);
    }
    while (processed) {
      const auto until = std::min(deadline, newestQuery() + newPlayerWait);
      if (Clock::now() >= until) {
        break;
      }
      processed = bus_->waitUntil(until);
    }
    return processed;
  }

  Clock::time_point newestQuery() const {
    Clock::time_point newest{};
    for (const auto* queries : {&statusQueries_, &identityQueries_}) {
      for (const auto& [owner, query] : *queries) {
        newest = std::max(newest, query.started);
      }
    }
    return newest;
  }

  void onNames(dbus::Result<dbus::Message>& reply) {
    listed_ = true;
    if (!reply) {
      return;
    }
    auto values = dbus::firstArgument(reply.value());
    if (!values) {
      return;
    }
    for (const std::string& name : values->strings()) {
      if (name.rfind(mpris::busPrefix, 0) == 0) {
        askOwner(name);
      }
    }
  }

  void askOwner(const std::string& name) {
    auto query =
        bus_->callAsync({busDaemon, busPath, busDaemon, "GetNameOwner", {name}},
                        options_.answerTime, [this, name](dbus::Result<dbus::Message> reply) {
                          if (reply) {
                            auto owner = dbus::firstArgument(reply.value());
                            if (owner && owner->string()) {
                              track(name, "", *owner->string());
                            }
                          }
                          ownerQueries_.erase(name);
                        });
    if (query) {
      ownerQueries_[name] = std::move(query).value();
    }
  }

  void onNameOwnerChanged(dbus::Message& signal) {
    auto values = signal.readAll();
    if (!values || values->size() < 3) {
      return;
    }
    auto name = (*values)[0].string();
    auto oldOwner = (*values)[1].string();
    auto newOwner = (*values)[2].string();
    if (name && oldOwner && newOwner && name->rfind(mpris::busPrefix, 0) == 0) {
      track(*name, *oldOwner, *newOwner);
    }
  }

  void track(const std::string& name, const std::string& oldOwner, const std::string& newOwner) {
    for (const auto& [owner, change] : registry_.nameOwnerChanged(name, oldOwner, newOwner)) {
      if (change == PlayerRegistry::Change::appeared) {
        askAbout(owner);
      } else if (change == PlayerRegistry::Change::vanished) {
        statusQueries_.erase(owner);
        identityQueries_.erase(owner);
        identities_.erase(owner);
        properties_.erase(owner);
      }
    }
  }

  // Asks a new player what it plays (whether it is playing, its track)
  // and what it is called, without waiting: a player that never answers
  // only delays its own requests.
  void askAbout(const std::string& owner) {
    askState(owner);
    askIdentity(owner);
  }

  void askState(const std::string& owner) {
    auto state =
        bus_->callAsync({owner,
                         mpris::objectPath,
                         "org.freedesktop.DBus.Properties",
                         "GetAll",
                         {std::string(mpris::playerInterface)}},
                        options_.answerTime, [this, owner](dbus::Result<dbus::Message> reply) {
                          if (auto value = replyValue(reply); value && value->dict()) {
                            properties_[owner] = *value->dict();
                            if (auto status = readPlayerState(*value->dict()).playbackStatus) {
                              registry_.statusChanged(owner, *status);
                            }
                          }
                          statusQueries_.erase(owner);
                        });
    if (state) {
      statusQueries_[owner] = PendingQuery{std::move(state).value(), Clock::now()};
    }
  }

  void askIdentity(const std::string& owner) {
    auto identity =
        bus_->callAsync({owner,
                         mpris::objectPath,
                         "org.freedesktop.DBus.Properties",
                         "Get",
                         {std::string(mpris::rootInterface), std::string("Identity")}},
                        options_.answerTime, [this, owner](dbus::Result<dbus::Message> reply) {
                          if (auto value = replyValue(reply);
                              value && value->string() && !value->string()->empty()) {
                            identities_[owner] = *value->string();
                          }
                          identityQueries_.erase(owner);
                        });
    if (identity) {
      identityQueries_[owner] = PendingQuery{std::move(identity).value(), Clock::now()};
    }
  }

  static std::optional<dbus::Value> replyValue(dbus::Result<dbus::Message>& reply) {
    if (!reply) {
      return std::nullopt;
    }
    auto value = dbus::firstArgument(reply.value());
    if (!value) {
      return std::nullopt;
    }
    return std::move(value).value();
  }

  void onPropertiesChanged(dbus::Message& signal) {
    const std::string owner = signal.sender();
    if (!registry_.knows(owner)) {
      return;
    }
    auto values = signal.readAll();
    if (!values || values->size() < 2) {
      return;
    }
    auto& known = properties_[owner];
    if (const auto* changed = (*values)[1].dict()) {
      for (const auto& [property, value] : *changed) {
        events_.emplace_back(owner, property);
        known[property] = value;
        if (property == "PlaybackStatus" && value.string()) {
          registry_.statusChanged(owner, *value.string());
        }
      }
    }
    if (values->size() >= 3) {
      bool stale = false;
      for (const std::string& property : (*values)[2].strings()) {
        events_.emplace_back(owner, property);
        known.erase(property);
        stale = stale || shownProperty(property);
      }
      // A player may only say that a value changed, not to what.
      if (stale && statusQueries_.count(owner) == 0) {
        askState(owner);
      }
    }
  }

  // Whether the players on the bus, and what they play, are known (or
  // given up on: a player that never answers is asked no longer than an
  // answer takes).
  bool playersKnown() const {
    return listed_ && ownerQueries_.empty() && statusQueries_.empty() && identityQueries_.empty();
  }

  NowPlaying currentlyPlaying() const {
    NowPlaying now;
    const auto player = registry_.current();
    if (!player) {
      return now;
    }
    const auto known = properties_.find(player->owner);
    const PlayerState state =
        known != properties_.end() ? readPlayerState(known->second) : PlayerState{};
    now.media = mediaInfo(state, nameOf(*player));
    now.media->position.reset();
    now.artUrl = state.track.artUrl;
    return now;
  }

  std::string nameOf(const PlayerRef& player) const {
    const auto known = identities_.find(player.owner);
    return known != identities_.end() ? known->second : shortName(player.busName);
  }

  // Talking to the current player.

  dbus::Result<PlayerState> readState(const Target& target) {
    auto properties = dbus::getAllProperties(*bus_, target.ref.owner, mpris::objectPath,
                                             mpris::playerInterface, target.deadline);
    if (!properties) {
      return properties.error();
    }
    // Fresher than what the signals said, for players that do not say all.
    if (registry_.knows(target.ref.owner)) {
      properties_[target.ref.owner] = properties.value();
    }
    return readPlayerState(properties.value());
  }

  dbus::Status callPlayer(const Target& target, const char* method,
                          std::vector<dbus::Argument> arguments = {}) {
    auto reply = bus_->call(
        {target.ref.owner, mpris::objectPath, mpris::playerInterface, method, std::move(arguments)},
        target.deadline);
    if (!reply) {
      return reply.error();
    }
    return dbus::Done{};
  }

  dbus::Status setPlayerProperty(const Target& target, const char* property, dbus::Variant value) {
    return dbus::setProperty(*bus_, target.ref.owner, mpris::objectPath, mpris::playerInterface,
                             property, std::move(value), target.deadline);
  }

  CLIResponse failed(const Target& target, const dbus::Error& error, const std::string& what) {
    if (error.timedOut()) {
      const auto seconds =
          static_cast<long>(std::ceil(std::chrono::duration<double>(options_.answerTime).count()));
      return failure("The media player " + target.name + " is not responding (no answer within " +
                     std::to_string(seconds) + (seconds == 1 ? " second)." : " seconds)."));
    }
    if (playerGone(error)) {
      return failure("The media player " + target.name + " is no longer running.");
    }
    if (refusedChange(error)) {
      return cannot(target, what);
    }
    return failure(target.name + " could not " + what + ": " + error.describe());
  }

  static CLIResponse cannot(const Target& target, const std::string& what) {
    return failure(target.name + " cannot " + what + ".");
  }

  // Waits a moment for the player to signal one of `properties` (or
  // "Seeked"), so that what is read next shows the command's effect. A
  // player may announce a change in steps (a new track's file name, then
  // its tags), so the wait goes on until the signals pause.
  void settle(const Target& target, std::initializer_list<const char*> properties) {
    const auto until = std::min(target.deadline, Clock::now() + options_.settleTime);
    auto seen = [&] {
      return std::count_if(events_.begin(), events_.end(), [&](const auto& event) {
        return event.first == target.ref.owner &&
               std::any_of(properties.begin(), properties.end(),
                           [&](const char* property) { return event.second == property; });
      });
    };
    auto count = seen();
    auto lastChange = Clock::now();
    for (;;) {
      const auto now = Clock::now();
      const auto quietEnd = lastChange + settlePause;
      if (now >= until || (count > 0 && now >= quietEnd)) {
        return;
      }
      if (!bus_->waitUntil(count > 0 ? std::min(until, quietEnd) : until)) {
        return;
      }
      if (const auto latest = seen(); latest != count) {
        count = latest;
        lastChange = Clock::now();
      }
    }
  }

  // The state after a command, with a line saying what happened.
  CLIResponse nowPlaying(const Target& target, std::string message) {
    auto state = readState(target);
    if (!state) {
      return note(std::move(message));
    }
    return answerWith(Data::MediaInfo{mediaInfo(state.value(), target.name)}, std::move(message));
  }

  // The requests.

  CLIResponse run(const CLICommand::MediaPlayPause&, const Target& target) {
    const std::string what = "play or pause";
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), what);
    }
    if (state->playing() ? denied(state->canPause) : denied(state->canPlay)) {
      return cannot(target, state->playing() ? "pause" : "play");
    }
    if (auto done = callPlayer(target, "PlayPause"); !done) {
      return failed(target, done.error(), what);
    }
    settle(target, {"PlaybackStatus"});
    auto after = readState(target);
    if (!after) {
      return note("Sent play/pause to " + target.name + ".");
    }
    std::string message = target.name + (after->playing() ? " is playing." : " is paused.");
    return answerWith(Data::MediaInfo{mediaInfo(after.value(), target.name)}, std::move(message));
  }

  CLIResponse run(const CLICommand::MediaNext&, const Target& target) {
    return skip(target, "Next", "skip to the next track", "Skipped to the next track.",
                &PlayerState::canGoNext);
  }

  CLIResponse run(const CLICommand::MediaPrevious&, const Target& target) {
    return skip(target, "Previous", "go back to the previous track",
                "Went back to the previous track.", &PlayerState::canGoPrevious);
  }

  CLIResponse skip(const Target& target, const char* method, const std::string& what,
                   std::string message, std::optional<bool> PlayerState::*capability) {
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), what);
    }
    if (denied(state.value().*capability)) {
      return cannot(target, what);
    }
    if (auto done = callPlayer(target, method); !done) {
      return failed(target, done.error(), what);
    }
    settle(target, {"Metadata"});
    return nowPlaying(target, std::move(message));
  }

  CLIResponse run(const CLICommand::MediaForward& request, const Target& target) {
    return seek(target, request.seconds);
  }

  CLIResponse run(const CLICommand::MediaBackward& request, const Target& target) {
    return seek(target, -request.seconds);
  }

  CLIResponse seek(const Target& target, double seconds) {
    if (!std::isfinite(seconds)) {
      return failure("Seconds must be a finite number.");
    }
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), "seek");
    }
    if (denied(state->canSeek)) {
      return cannot(target, "seek");
    }
    const std::int64_t offset = seekOffset(seconds, state->positionMicroseconds);
    if (auto done = callPlayer(target, "Seek", {offset}); !done) {
      return failed(target, done.error(), "seek");
    }
    settle(target, {"Seeked"});
    std::string message;
    if (seconds < 0 && offset > static_cast<std::int64_t>(std::llround(seconds * 1e6))) {
      message = "Back to the start of the track.";
    } else if (seconds < 0) {
      message = "Skipped back " + secondsText(-seconds) + ".";
    } else {
      message = "Skipped forward " + secondsText(seconds) + ".";
    }
    return nowPlaying(target, std::move(message));
  }

  CLIResponse run(const CLICommand::MediaShuffle&, const Target& target) {
    const std::string what = "change shuffle";
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), what);
    }
    if (!state->shuffle || denied(state->canControl)) {
      return cannot(target, what);
    }
    const bool wanted = !*state->shuffle;
    if (auto done = setPlayerProperty(target, "Shuffle", {wanted}); !done) {
      return failed(target, done.error(), what);
    }
    settle(target, {"Shuffle"});
    auto after = readState(target);
    if (after && after->shuffle && *after->shuffle != wanted) {
      return failure(target.name + " cannot " + what + ": it stays " +
                     (*after->shuffle ? "on." : "off."));
    }
    return note(std::string("Shuffle: ") + (wanted ? "on" : "off"));
  }

  CLIResponse run(const CLICommand::MediaRepeat&, const Target& target) {
    const std::string what = "change the repeat mode";
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), what);
    }
    if (!state->loopStatus || denied(state->canControl)) {
      return cannot(target, what);
    }
    const std::string wanted = nextLoopStatus(*state->loopStatus);
    if (auto done = setPlayerProperty(target, "LoopStatus", {wanted}); !done) {
      return failed(target, done.error(), what);
    }
    settle(target, {"LoopStatus"});
    auto after = readState(target);
    if (after && after->loopStatus && *after->loopStatus != wanted) {
      return failure(target.name + " cannot " + what + ": it stays " +
                     repeatName(*after->loopStatus) + ".");
    }
    return note("Repeat: " + repeatName(wanted));
  }

  CLIResponse run(const CLICommand::GetMediaVolume&, const Target& target) {
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), "report its volume");
    }
    if (!state->volume) {
      return failure(target.name + " does not report its volume.");
    }
    return answerWith(Data::Volume{volumePercent(*state->volume)});
  }

  CLIResponse run(const CLICommand::SetMediaVolume& request, const Target& target) {
    const std::string what = "change its volume";
    if (!(request.percent >= 0 && request.percent <= 100)) {
      return failure("Volume must be between 0 and 100.");
    }
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), what);
    }
    if (!state->volume || denied(state->canControl)) {
      return cannot(target, what);
    }
    if (auto done = setPlayerProperty(target, "Volume", {request.percent / 100}); !done) {
      return failed(target, done.error(), what);
    }
    settle(target, {"Volume"});
    auto after = readState(target);
    if (!after || !after->volume) {
      return answerWith(Data::Volume{request.percent});
    }
    const double now = volumePercent(*after->volume);
    if (std::abs(now - request.percent) > 0.5) {
      return failure(target.name + " cannot " + what + ": it stays at " +
                     std::to_string(static_cast<long>(now)) + "%.");
    }
    return answerWith(Data::Volume{now});
  }

  CLIResponse run(const CLICommand::GetMediaInfo&, const Target& target) {
    auto state = readState(target);
    if (!state) {
      return failed(target, state.error(), "tell what is playing");
    }
    return answerWith(Data::MediaInfo{mediaInfo(state.value(), target.name)});
  }

  Options options_;
  std::optional<dbus::Error> connectError_;
  std::optional<dbus::Bus> bus_;
  // Everything below is registered with bus_ and goes before it.
  std::vector<dbus::Slot> matches_;
  dbus::Slot listing_;
  bool listed_ = false;
  std::map<std::string, dbus::Slot> ownerQueries_;
  std::map<std::string, PendingQuery> statusQueries_;
  std::map<std::string, PendingQuery> identityQueries_;
  std::map<std::string, std::string> identities_;
  // Each player's org.mpris.MediaPlayer2.Player properties, as last read
  // and signalled.
  std::map<std::string, dbus::Value::Dict> properties_;
  PlayerRegistry registry_;
  // (player, property or "Seeked") signalled since the current answer began.
  std::vector<std::pair<std::string, std::string>> events_;
  // The following thread's rounds, and its pause while the bus is absent.
  dbus::FollowLoop loop_{
      dbus::Backoff{firstRetry, lastRetry}, "lost the session bus",
      dbus::FollowLoop::Service{[this] { return connect(); }, [this] { disconnect(); },
                                [this](bool) {
                                  // Only an answer waits for these; between
                                  // answers they would pile up.
                                  events_.clear();
                                  return std::optional<Clock::time_point>{};
                                }}};
};

bool operator==(const NowPlaying& a, const NowPlaying& b) {
  const bool sameRecord =
      a.media.has_value() == b.media.has_value() && (!a.media || sameMedia(*a.media, *b.media));
  return sameRecord && a.artUrl == b.artUrl && a.unavailable == b.unavailable;
}

MediaService::MediaService() : MediaService(Options{}) {}

MediaService::MediaService(Options options)
    : service_("kestruned-mpris", NowPlaying{std::nullopt, std::nullopt, noSessionBus},
               std::move(options)) {}

MediaService::~MediaService() = default;

bool MediaService::follow(NowPlayingObserver observer) {
  return service_.follow(std::move(observer));
}

std::uint64_t MediaService::followWakeUps() const {
  return service_.wakeUps();
}

CLIResponse MediaService::answer(const CLICommand& command) {
  return service_.use([&command](Impl* impl) {
    if (impl == nullptr) {
      return failure("Media control is unavailable.");
    }
    try {
      return impl->answer(command);
    } catch (const std::exception& error) {
      return failure(std::string("Media control failed: ") + error.what());
    }
  });
}

}  // namespace kestrune::daemon::media
