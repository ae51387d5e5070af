#pragma once
// The tray icon's menu, drawn from the model: "Open panel" first (some
// hosts open the menu on a click), the output devices (the default one
// chosen), output mute, silent mode, the profiles, what is playing with its
// controls, and "Quit"; enough for a desktop where the panel is not opened.
// Each entry keeps its id for as long as it exists, so that a host that
// read an older layout still reaches the entry it meant.

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "panel/PanelModel.h"

namespace kestrune::panel {

struct TrayMenuEntry {
  enum class Kind { action, separator, radio, checkmark, submenu };
  // What choosing the entry does.
  enum class Effect {
    none,
    setOutput,
    toggleOutputMute,
    toggleSilentMode,
    applyProfile,
    mediaPrevious,
    mediaPlayPause,
    mediaNext,
    openPanel,
    quit
  };

  int id = 0;
  Kind kind = Kind::action;
  Effect effect = Effect::none;
  QString label;
  // The device's uid or the profile's name the effect applies to.
  QString argument;
  bool toggled = false;
  bool enabled = true;
  std::vector<TrayMenuEntry> children;

  bool operator==(const TrayMenuEntry&) const = default;
};

class TrayMenu {
 public:
  // What an update changed: the entries (a new layout) or only some of
  // their states.
  struct Changes {
    bool layout = false;
    std::vector<int> entries;
  };

  TrayMenu();

  // The root (id 0), whose children are the menu.
  const TrayMenuEntry& root() const { return root_; }
  const TrayMenuEntry* find(int id) const;
  // Grows with every change of the entries themselves.
  unsigned revision() const { return revision_; }

  Changes update(const PanelModel& model, const QStringList& profiles);

 private:
  int idFor(const std::string& key);
  TrayMenuEntry build(const PanelModel& model, const QStringList& profiles);
  void addMedia(const PanelModel& model, std::vector<TrayMenuEntry>& entries);

  TrayMenuEntry root_;
  unsigned revision_ = 1;
  std::map<std::string, int, std::less<>> ids_;
  int nextId_ = 1;
};

}  // namespace kestrune::panel
