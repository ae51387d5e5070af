#include "panel/TrayMenu.h"

#include <functional>
#include <optional>

#include "panel/DisplayText.h"

namespace kestrune::panel {

namespace {

using Kind = TrayMenuEntry::Kind;
using Effect = TrayMenuEntry::Effect;

bool sameShape(const TrayMenuEntry& a, const TrayMenuEntry& b) {
  if (a.id != b.id || a.kind != b.kind || a.effect != b.effect || a.label != b.label ||
      a.argument != b.argument || a.children.size() != b.children.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.children.size(); ++i) {
    if (!sameShape(a.children[i], b.children[i])) {
      return false;
    }
  }
  return true;
}

// Of two trees of the same shape, the entries whose states differ.
void collectStateChanges(const TrayMenuEntry& before, const TrayMenuEntry& after,
                         std::vector<int>& ids) {
  if (before.toggled != after.toggled || before.enabled != after.enabled) {
    ids.push_back(after.id);
  }
  for (std::size_t i = 0; i < after.children.size(); ++i) {
    collectStateChanges(before.children[i], after.children[i], ids);
  }
}

const TrayMenuEntry* findIn(const TrayMenuEntry& entry, int id) {
  if (entry.id == id) {
    return &entry;
  }
  for (const TrayMenuEntry& child : entry.children) {
    if (const TrayMenuEntry* found = findIn(child, id)) {
      return found;
    }
  }
  return nullptr;
}

TrayMenuEntry entryOf(int id, Kind kind, Effect effect, const QString& label) {
  TrayMenuEntry entry;
  entry.id = id;
  entry.kind = kind;
  entry.effect = effect;
  entry.label = label;
  return entry;
}

}  // namespace

TrayMenu::TrayMenu() {
  root_.kind = Kind::submenu;
}

const TrayMenuEntry* TrayMenu::find(int id) const {
  return findIn(root_, id);
}

int TrayMenu::idFor(const std::string& key) {
  const auto [entry, added] = ids_.try_emplace(key, nextId_);
  if (added) {
    ++nextId_;
  }
  return entry->second;
}

TrayMenu::Changes TrayMenu::update(const PanelModel& model, const QStringList& profiles) {
  TrayMenuEntry next = build(model, profiles);
  Changes changes;
  if (!sameShape(root_, next)) {
    changes.layout = true;
    ++revision_;
  } else {
    collectStateChanges(root_, next, changes.entries);
  }
  root_ = std::move(next);
  return changes;
}

TrayMenuEntry TrayMenu::build(const PanelModel& model, const QStringList& profiles) {
  TrayMenuEntry root;
  root.kind = Kind::submenu;
  std::vector<TrayMenuEntry>& entries = root.children;
  entries.push_back(
      entryOf(idFor("open-panel"), Kind::action, Effect::openPanel, QStringLiteral("Open panel")));
  entries.push_back(entryOf(idFor("separator:panel"), Kind::separator, Effect::none, {}));
  if (model.unavailableSentence().isEmpty()) {
    const CLIDeviceInfo* current = model.defaultOutput();
    for (const CLIDeviceInfo& device : model.state().devices) {
      if (device.isOutput) {
        TrayMenuEntry entry = entryOf(idFor("output:" + device.uid), Kind::radio, Effect::setOutput,
                                      visibleName(device.name));
        entry.argument = QString::fromStdString(device.uid);
        entry.toggled = current != nullptr && current->uid == device.uid;
        entries.push_back(std::move(entry));
      }
    }
    TrayMenuEntry mute = entryOf(idFor("output-mute"), Kind::checkmark, Effect::toggleOutputMute,
                                 QStringLiteral("Mute output"));
    mute.toggled = model.outputMuted();
    entries.push_back(std::move(mute));
    entries.push_back(entryOf(idFor("separator:devices"), Kind::separator, Effect::none, {}));
    TrayMenuEntry silent = entryOf(idFor("silent-mode"), Kind::checkmark, Effect::toggleSilentMode,
                                   QStringLiteral("Silent mode"));
    silent.toggled = model.state().status.isSilentMode;
    entries.push_back(std::move(silent));
    TrayMenuEntry profileMenu =
        entryOf(idFor("profiles"), Kind::submenu, Effect::none, QStringLiteral("Profiles"));
    profileMenu.enabled = !profiles.isEmpty();
    for (const QString& profile : profiles) {
      TrayMenuEntry entry = entryOf(idFor("profile:" + profile.toStdString()), Kind::action,
                                    Effect::applyProfile, visibleName(profile));
      entry.argument = profile;
      profileMenu.children.push_back(std::move(entry));
    }
    entries.push_back(std::move(profileMenu));
    addMedia(model, entries);
    entries.push_back(entryOf(idFor("separator:quit"), Kind::separator, Effect::none, {}));
  }
  entries.push_back(entryOf(idFor("quit"), Kind::action, Effect::quit, QStringLiteral("Quit")));
  return root;
}

// What plays, as one line that cannot be chosen, and its three controls.
void TrayMenu::addMedia(const PanelModel& model, std::vector<TrayMenuEntry>& entries) {
  const std::optional<CLIMediaInfo>& media = model.state().media;
  if (!media) {
    return;
  }
  entries.push_back(entryOf(idFor("separator:media"), Kind::separator, Effect::none, {}));
  QString playing = visibleName(media->title.value_or(std::string()));
  if (media->artist && !media->artist->empty()) {
    playing += QStringLiteral(" — ") + isolatedName(*media->artist);
  }
  if (!playing.isEmpty()) {
    TrayMenuEntry title = entryOf(idFor("media-title"), Kind::action, Effect::none, playing);
    title.enabled = false;
    entries.push_back(std::move(title));
  }
  entries.push_back(entryOf(idFor("media-previous"), Kind::action, Effect::mediaPrevious,
                            QStringLiteral("Previous")));
  entries.push_back(entryOf(idFor("media-play-pause"), Kind::action, Effect::mediaPlayPause,
                            media->isPlaying ? QStringLiteral("Pause") : QStringLiteral("Play")));
  entries.push_back(
      entryOf(idFor("media-next"), Kind::action, Effect::mediaNext, QStringLiteral("Next")));
}

}  // namespace kestrune::panel
