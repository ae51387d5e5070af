#include "panel/TrayMenu.h"

#include <functional>

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
  const auto add = [&entries](int id, Kind kind, Effect effect, const QString& label) {
    TrayMenuEntry entry;
    entry.id = id;
    entry.kind = kind;
    entry.effect = effect;
    entry.label = label;
    entries.push_back(std::move(entry));
    return &entries.back();
  };
  if (model.unavailableSentence().isEmpty()) {
    const CLIDeviceInfo* current = model.defaultOutput();
    for (const CLIDeviceInfo& device : model.state().devices) {
      if (device.isOutput) {
        TrayMenuEntry* entry = add(idFor("output:" + device.uid), Kind::radio, Effect::setOutput,
                                   visibleName(device.name));
        entry->argument = QString::fromStdString(device.uid);
        entry->toggled = current != nullptr && current->uid == device.uid;
      }
    }
    if (!entries.empty()) {
      add(idFor("separator:devices"), Kind::separator, Effect::none, {});
    }
    add(idFor("silent-mode"), Kind::checkmark, Effect::toggleSilentMode,
        QStringLiteral("Silent mode"))
        ->toggled = model.state().status.isSilentMode;
    TrayMenuEntry* profileMenu =
        add(idFor("profiles"), Kind::submenu, Effect::none, QStringLiteral("Profiles"));
    profileMenu->enabled = !profiles.isEmpty();
    for (const QString& profile : profiles) {
      TrayMenuEntry entry;
      entry.id = idFor("profile:" + profile.toStdString());
      entry.effect = Effect::applyProfile;
      entry.label = visibleName(profile);
      entry.argument = profile;
      profileMenu->children.push_back(std::move(entry));
    }
    add(idFor("separator:panel"), Kind::separator, Effect::none, {});
  }
  add(idFor("open-panel"), Kind::action, Effect::openPanel, QStringLiteral("Open panel"));
  add(idFor("quit"), Kind::action, Effect::quit, QStringLiteral("Quit"));
  return root;
}

}  // namespace kestrune::panel
