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

namespace kestrune::daemon {

struct AppSettings {
  std::optional<double> volume;  // percent, 0 to 200
  std::optional<bool> muted;
  std::optional<std::string> device;  // sink name; absent: follows the default
  std::optional<std::string> eqPreset;
  std::optional<double> balance;  // -1 to 1

  bool empty() const { return !volume && !muted && !device && !eqPreset && !balance; }
};

class Memory {
 public:
  using Log = std::function<void(const std::string&)>;

  // Without a path nothing is kept on disk. A file that cannot be read is
  // reported and left alone until the first change replaces it.
  Memory(std::optional<std::string> path, Log log);

  std::optional<AppSettings> app(const std::string& id) const;
  void updateApp(const std::string& id, const std::function<void(AppSettings&)>& change);
  bool silentMode() const;
  void setSilentMode(bool on);

 private:
  void load();
  void save() const;

  std::optional<std::string> path_;
  Log log_;
  mutable std::mutex mutex_;
  std::map<std::string, AppSettings> apps_;
  bool silentMode_ = false;
};

}  // namespace kestrune::daemon
