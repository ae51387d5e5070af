#pragma once
// The panel: output and input, one row per app, now playing, Bluetooth,
// profiles and a status line. It draws the model and sends requests; the
// feed's next frames bring the outcome back. A frameless popup of fixed
// width beside the tray icon, as tall as its content allows on the screen:
// the apps scroll inside it.

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPoint>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "panel/AppListView.h"
#include "panel/ElidedLabel.h"
#include "panel/OutputOrderBox.h"
#include "panel/PanelModel.h"
#include "panel/RequestClient.h"
#include "panel/SendThrottle.h"

namespace kestrune::panel {

class PanelWindow : public QWidget {
  Q_OBJECT

 public:
  PanelWindow(PanelModel& model, RequestClient& requests, bool closeOnFocusLoss,
              QWidget* parent = nullptr);

  // Shows the panel when hidden, hides it when shown; true when now shown.
  bool toggle();
  // The same, opening beside `anchor` (a tray icon's place on the screen).
  bool toggleBeside(const QPoint& anchor);
  void present();
  // The output's own mute flag, the opposite of what the panel shows (or of
  // what it last asked for, until the feed shows that).
  void toggleOutputMute();
  // The daemon's --config directory, where devices.json is written.
  void setConfigDirectory(const QString& directory);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void buildOutputSection(QVBoxLayout* parent);
  void buildMediaSection(QVBoxLayout* parent);
  void refreshAvailability();
  void refreshOutput();
  void refreshDeviceMenus();
  void refreshMedia();
  void refreshBluetooth();
  void refreshProfiles();
  void refreshPresets();
  void askStatusLine();
  void refreshStatusLine();
  void sendOutputVolume(int value);
  void closePanel();
  bool justClosedByFocusLoss();
  // Fixed width, the height its content asks for up to the screen's
  // available height, wholly inside that area (beside the anchor if any).
  void fitToScreen();
  QRect availableArea() const;

  PanelModel& model_;
  RequestClient& requests_;
  bool closeOnFocusLoss_;

  QLabel* unavailable_ = nullptr;
  QWidget* controls_ = nullptr;
  QSlider* outputVolume_ = nullptr;
  QLabel* outputPercent_ = nullptr;
  QToolButton* outputMute_ = nullptr;
  QComboBox* outputDevice_ = nullptr;
  QToolButton* micMute_ = nullptr;
  QComboBox* inputDevice_ = nullptr;
  QCheckBox* silentMode_ = nullptr;
  SendThrottle* outputThrottle_ = nullptr;
  // The output mute last asked for, until the feed shows it.
  std::optional<bool> outputMuteAsked_;

  QGroupBox* appsBox_ = nullptr;
  AppListView* appsView_ = nullptr;

  QGroupBox* mediaBox_ = nullptr;
  QLabel* art_ = nullptr;
  ElidedLabel* title_ = nullptr;
  ElidedLabel* artist_ = nullptr;
  ElidedLabel* album_ = nullptr;
  QToolButton* playPause_ = nullptr;

  QGroupBox* bluetoothBox_ = nullptr;
  QVBoxLayout* bluetoothList_ = nullptr;
  std::vector<ElidedLabel*> bluetoothLines_;

  QComboBox* profiles_ = nullptr;
  QToolButton* outputOrderToggle_ = nullptr;
  OutputOrderBox* outputOrder_ = nullptr;
  // Why devices.json was left alone; shown in the status line while set.
  QString configProblem_;
  ElidedLabel* statusLine_ = nullptr;
  QString versionText_;
  bool wasConnected_ = false;
  // Whether it had the focus since it was last shown.
  bool wasActive_ = false;
  QElapsedTimer closedByFocusLoss_;
  // Where the tray icon was when it was last opened from it.
  std::optional<QPoint> anchor_;
  // Size changes come in bursts (apps arriving): fitted once per burst.
  QTimer fit_;
};

}  // namespace kestrune::panel
