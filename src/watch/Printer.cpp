#include "watch/Printer.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "client/FeedClient.h"
#include "json/Errors.h"
#include "watch/Waiting.h"

namespace kestrune::watch {

namespace {

struct KindMembers {
  FeedKind kind;
  std::array<std::string_view, 2> members;  // an empty name stands for none
};

// The snapshot's members of each kind, beside "event" and "unavailable".
constexpr std::array<KindMembers, feedKindCount> snapshotMembers = {{
    {FeedKind::status, {"status", ""}},
    {FeedKind::devices, {"devices", ""}},
    {FeedKind::apps, {"apps", "icons"}},
    {FeedKind::media, {"media", "artUrl"}},
    {FeedKind::bluetooth, {"bluetooth", ""}},
}};

bool followedReason(std::string_view kindName, FeedKinds kinds) {
  const auto kind = feedKindNamed(kindName);
  return !kind || kinds.has(*kind);  // a reason this version does not know stays
}

json::Value daemonLine() {
  return json::ObjectBuilder().add("event", "daemon").add("running", false).build();
}

}  // namespace

bool writeLine(int descriptor, const std::string& line) {
  const std::string text = line + "\n";
  std::string_view rest(text);
  while (!rest.empty()) {
    const ssize_t written = ::write(descriptor, rest.data(), rest.size());
    if (written >= 0) {
      rest.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == EPIPE) {
      return false;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A non-blocking output handed down by the caller: wait for room.
      pollfd room{descriptor, POLLOUT, 0};
      if (::poll(&room, 1, -1) >= 0 || errno == EINTR) {
        continue;
      }
    }
    throw WatchError(std::string("Could not write the output: ") + std::strerror(errno));
  }
  return true;
}

json::Value snapshotFollowing(const json::Value& snapshot, FeedKinds kinds) {
  if (kinds.isAll() || !snapshot.isObject()) {
    return snapshot;
  }
  json::Object object = snapshot.asObject();
  for (const KindMembers& entry : snapshotMembers) {
    if (!kinds.has(entry.kind)) {
      for (const std::string_view member : entry.members) {
        if (!member.empty()) {
          object.erase(member);
        }
      }
    }
  }
  if (json::Value* reasons = object.find("unavailable");
      reasons != nullptr && reasons->isObject()) {
    json::Object kept;
    for (const auto& [kindName, reason] : reasons->asObject()) {
      if (followedReason(kindName, kinds)) {
        kept.set(kindName, reason);
      }
    }
    if (kept.empty()) {
      object.erase("unavailable");
    } else {
      *reasons = json::Value(std::move(kept));
    }
  }
  return json::Value(std::move(object));
}

Printer::Printer(const WatchOptions& options, int output)
    : output_(output),
      only_(options.only),
      followed_(options.subscribedKinds()),
      format_(options.format) {}

bool Printer::frame(const json::Value& frame) {
  const std::string& name = frame.find("event")->asString();
  const bool snapshot = name == "snapshot";
  if (!snapshot && !following_) {
    throw FeedClientError::malformedFrame("a change before the snapshot");
  }
  try {
    applyFeedEvent(state_, frame);
  } catch (const json::DecodingError& error) {
    throw FeedClientError::malformedFrame(error.description());
  }
  if (snapshot) {
    following_ = true;
    goneAnnounced_ = false;
  }
  if (format_) {
    return printTemplate(&state_);
  }
  if (snapshot) {
    return print(json::writeCompact(snapshotFollowing(frame, only_)));
  }
  // Events this version does not know, and kinds not followed, are left out.
  const auto kind = kindOfEvent(name);
  if (!kind || !only_.has(*kind)) {
    return true;
  }
  return print(json::writeCompact(frame));
}

bool Printer::daemonGone() {
  following_ = false;
  if (format_) {
    return printTemplate(nullptr);
  }
  if (goneAnnounced_) {
    return true;
  }
  goneAnnounced_ = true;
  return print(json::writeCompact(daemonLine()));
}

bool Printer::printTemplate(const FeedState* state) {
  std::string line = format_->render(state, followed_);
  if (line == lastLine_) {
    return true;
  }
  lastLine_ = line;
  return print(line);
}

bool Printer::print(const std::string& line) {
  return writeLine(output_, line);
}

}  // namespace kestrune::watch
