#pragma once
// The media players on the bus, as the bus's name-owner signals and the
// players' own status signals describe them, and which one is "current":
// the one playing (the latest to start, if several), else the one that
// played most recently, else the first found.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrune::daemon::media {

struct PlayerRef {
  std::string owner;    // the connection's unique name, where calls go
  std::string busName;  // its first org.mpris.MediaPlayer2.* name
};

class PlayerRegistry {
 public:
  enum class Change { none, appeared, vanished };

  // A name changed hands ("" = no owner). Says whether an owner became a
  // player or stopped being one; one connection may hold several names.
  std::vector<std::pair<std::string, Change>> nameOwnerChanged(const std::string& name,
                                                               const std::string& oldOwner,
                                                               const std::string& newOwner);
  void statusChanged(const std::string& owner, const std::string& playbackStatus);

  bool knows(const std::string& owner) const { return players_.count(owner) > 0; }
  std::optional<PlayerRef> current() const;
  std::optional<std::string> busNameOf(const std::string& owner) const;
  void clear() { players_.clear(); }

 private:
  struct Player {
    std::vector<std::string> names;
    bool playing = false;
    std::uint64_t foundAt = 0;
    std::uint64_t lastPlayedAt = 0;  // 0: never seen playing
  };

  Change add(const std::string& name, const std::string& owner);
  Change remove(const std::string& name, const std::string& owner);

  std::map<std::string, Player> players_;
  std::uint64_t clock_ = 0;  // orders events; no wall time needed
};

}  // namespace kestrune::daemon::media
