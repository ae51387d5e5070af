#pragma once
// What the daemon remembers between runs: the settings users gave each app
// (so that its new streams, and the app after a restart, get them) and
// silent mode. Kept in settings.json in the state directory, rewritten
// whole and atomically after every change.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::daemon {

struct AppSettings {
  std::optional<double> volume;  // percent, 0 to 200
  std::optional<bool> muted;
  std::optional<std::string> device;  // sink name; absent: follows the default
  std::optional<std::string> eqPreset;
  std::optional<double> balance;  // -1 to 1

  bool empty() const { return !volume && !muted && !device && !eqPreset && !balance; }
};

// The contents of a settings file as far as they can be read: a member
// that cannot be read is left out (an app loses that member, not the rest),
// each such problem described as "PATH:LINE:COLUMN: reason".
struct RememberedSettings {
  std::map<std::string, AppSettings> apps;
  bool silentMode = false;
  std::vector<std::string> problems;
};
RememberedSettings decodeSettings(std::string_view text, const std::string& path);

class Memory {
 public:
  using Log = std::function<void(const std::string&)>;

  // Without a path nothing is kept on disk. What cannot be read of the file
  // is reported; before the first change replaces a file that could not be
  // read whole, the original is kept beside it as PATH.damaged (one already
  // there is never replaced). Temporary files that earlier runs left
  // behind are removed.
  Memory(std::optional<std::string> path, Log log);

  std::optional<AppSettings> app(const std::string& id) const;
  void updateApp(const std::string& id, const std::function<void(AppSettings&)>& change);
  bool silentMode() const;
  void setSilentMode(bool on);

  // Why a change since the last call could not be saved ("... will not
  // survive a restart: <the system's reason>"), then forgets it; nothing
  // when every save worked. A later change tries again.
  std::optional<std::string> takeSaveProblem();

 private:
  void load();
  void save();
  void keepDamagedOriginal();
  void removeTemporaries(bool evenRecent) const;

  std::optional<std::string> path_;
  Log log_;
  mutable std::mutex mutex_;
  std::map<std::string, AppSettings> apps_;
  bool silentMode_ = false;
  // The file on disk could not be read whole and has not been kept yet.
  bool damaged_ = false;
  std::optional<std::string> damagedText_;  // its contents, when they could be read
  bool savedOnce_ = false;
  std::optional<std::string> saveProblem_;
};

}  // namespace kestrune::daemon
