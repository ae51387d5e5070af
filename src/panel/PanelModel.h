#pragma once
// What the panel shows: the live feed's state, and whether it can be shown
// at all. Views draw it and never change it; changes come from the feed,
// each told by what it touched, so that a view redraws only that part.

#include <QObject>
#include <QString>
#include <string>
#include <tuple>
#include <vector>

#include "json/Value.h"
#include "panel/AppListModel.h"
#include "panel/PresetListModel.h"
#include "protocol/Feed.h"

namespace kestrune::panel {

class PanelModel : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // The state of everything but the apps, which are in apps().
  const FeedState& state() const { return state_; }
  AppListModel& apps() { return apps_; }
  const AppListModel& apps() const { return apps_; }
  // The EQ presets on offer, as the application last listed them.
  PresetListModel& presets() { return presets_; }
  const PresetListModel& presets() const { return presets_; }
  // Whether a snapshot has arrived on the current connection.
  bool isConnected() const { return connected_; }
  // One sentence shown in place of the controls, or empty when they apply.
  QString unavailableSentence() const;

  // One feed frame; a malformed one is dropped (the next snapshot corrects).
  void applyFrame(const json::Value& frame);
  // The connection is gone or never came; `sentence` says so.
  void setUnreachable(const QString& sentence);

  // Conveniences for the views.
  const CLIDeviceInfo* defaultOutput() const;
  const CLIDeviceInfo* defaultInput() const;
  double outputVolume() const;
  bool outputMuted() const;
  const CLIAppInfo* app(const std::string& id) const { return apps_.find(id); }

 signals:
  // Anything but the apps changed (they tell their own changes).
  void changed();
  // Connected, unreachable, or the sound server (un)available.
  void availabilityChanged();
  // The status or a device: volumes, mutes, defaults, silent mode.
  void outputChanged();
  // Devices came, went or were renamed: menus of devices are refilled.
  void deviceListChanged();
  void mediaChanged();
  void bluetoothChanged();

 private:
  using DeviceListing = std::vector<std::tuple<std::string, std::string, bool, bool>>;
  void applySnapshot(const json::Value& frame);
  void applyAppFrame(const std::string& event, const json::Value& frame);
  DeviceListing deviceListing() const;

  FeedState state_;
  AppListModel apps_;
  PresetListModel presets_;
  bool connected_ = false;
  QString unreachable_ = QStringLiteral("Connecting to Kestrune…");
};

}  // namespace kestrune::panel
