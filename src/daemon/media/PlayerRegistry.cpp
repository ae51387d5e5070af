#include "daemon/media/PlayerRegistry.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace kestrune::daemon::media {

std::vector<std::pair<std::string, PlayerRegistry::Change>> PlayerRegistry::nameOwnerChanged(
    const std::string& name, const std::string& oldOwner, const std::string& newOwner) {
  std::vector<std::pair<std::string, Change>> changes;
  if (!oldOwner.empty() && oldOwner != newOwner) {
    if (remove(name, oldOwner) == Change::vanished) {
      changes.emplace_back(oldOwner, Change::vanished);
    }
  }
  if (!newOwner.empty()) {
    if (add(name, newOwner) == Change::appeared) {
      changes.emplace_back(newOwner, Change::appeared);
    }
  }
  return changes;
}

PlayerRegistry::Change PlayerRegistry::add(const std::string& name, const std::string& owner) {
  auto [entry, inserted] = players_.try_emplace(owner);
  Player& player = entry->second;
  if (inserted) {
    player.foundAt = ++clock_;
  }
  if (std::find(player.names.begin(), player.names.end(), name) == player.names.end()) {
    player.names.push_back(name);
  }
  return inserted ? Change::appeared : Change::none;
}

PlayerRegistry::Change PlayerRegistry::remove(const std::string& name, const std::string& owner) {
  const auto entry = players_.find(owner);
  if (entry == players_.end()) {
    return Change::none;
  }
  auto& names = entry->second.names;
  names.erase(std::remove(names.begin(), names.end(), name), names.end());
  if (!names.empty()) {
    return Change::none;
  }
  players_.erase(entry);
  return Change::vanished;
}

void PlayerRegistry::statusChanged(const std::string& owner, const std::string& playbackStatus) {
  const auto entry = players_.find(owner);
  if (entry == players_.end()) {
    return;
  }
  Player& player = entry->second;
  const bool playing = playbackStatus == "Playing";
  // Starting and stopping both count as "played": the player that stopped
  // last played more recently than one that stopped before it.
  if (playing != player.playing) {
    player.lastPlayedAt = ++clock_;
  }
  player.playing = playing;
}

std::optional<PlayerRef> PlayerRegistry::current() const {
  const std::pair<const std::string, Player>* best = nullptr;
  // Playing beats paused, then the latest to play, then the first found.
  auto rank = [](const Player& player) {
    return std::make_tuple(player.playing, player.lastPlayedAt,
                           std::numeric_limits<std::uint64_t>::max() - player.foundAt);
  };
  for (const auto& entry : players_) {
    if (best == nullptr || rank(entry.second) > rank(best->second)) {
      best = &entry;
    }
  }
  if (best == nullptr) {
    return std::nullopt;
  }
  return PlayerRef{best->first, best->second.names.front()};
}

std::optional<std::string> PlayerRegistry::busNameOf(const std::string& owner) const {
  const auto entry = players_.find(owner);
  if (entry == players_.end()) {
    return std::nullopt;
  }
  return entry->second.names.front();
}

}  // namespace kestrune::daemon::media
