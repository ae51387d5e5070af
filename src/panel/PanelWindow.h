#pragma once
// The panel: output and input, one row per app, now playing, Bluetooth,
// profiles and a status line. It draws the model and sends requests; the
// feed's next frames bring the outcome back.

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPoint>
#include <QSlider>
#include <QToolButton>
#include <QWidget>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "panel/PanelModel.h"
#include "panel/RequestClient.h"
#include "panel/SendThrottle.h"

namespace kestrune::panel {

// The EQ presets every application offers, in its order.
const std::vector<std::string>& builtInPresetNames();

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
  // Without a request for the output's own mute, muting sets the volume to
  // zero and unmuting brings back the volume it had.
  void toggleOutputMute();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct AppRow {
    QWidget* container = nullptr;
    QLabel* icon = nullptr;
    QLabel* name = nullptr;
    QSlider* volume = nullptr;
    QToolButton* mute = nullptr;
    QToolButton* solo = nullptr;
    QComboBox* eq = nullptr;
    QComboBox* device = nullptr;
  };

  void buildOutputSection(QWidget* parent);
  void buildMediaSection(QWidget* parent);
  void refresh();
  void refreshOutput();
  // Muted, or at volume zero, as the feed last told.
  bool outputShownMuted() const;
  void closePanel();
  bool justClosedByFocusLoss();
  void refreshApps();
  void rebuildAppRows();
  void refreshAppRow(const CLIAppInfo& app, AppRow& row);
  void refreshMedia();
  void refreshBluetooth();
  void refreshProfiles();
  void askStatusLine();
  void refreshStatusLine();
  QWidget* makeAppRow(const CLIAppInfo& app, AppRow& row);
  void placeBeside(const QPoint& anchor);

  PanelModel& model_;
  RequestClient& requests_;
  bool closeOnFocusLoss_;

  QLabel* unavailable_ = nullptr;
  QWidget* controls_ = nullptr;
  QSlider* outputVolume_ = nullptr;
  QToolButton* outputMute_ = nullptr;
  QComboBox* outputDevice_ = nullptr;
  QToolButton* micMute_ = nullptr;
  QComboBox* inputDevice_ = nullptr;
  QCheckBox* silentMode_ = nullptr;
  SendThrottle* outputThrottle_ = nullptr;
  double volumeBeforeMute_ = 0;
  // The output mute last asked for, until the feed shows it.
  std::optional<bool> outputMuteAsked_;

  QGroupBox* appsBox_ = nullptr;
  QWidget* appsRows_ = nullptr;
  std::vector<std::string> rowOrder_;
  std::map<std::string, AppRow> rows_;
  std::map<std::string, SendThrottle*> appThrottles_;

  QGroupBox* mediaBox_ = nullptr;
  QLabel* art_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* artist_ = nullptr;
  QLabel* album_ = nullptr;
  QToolButton* playPause_ = nullptr;

  QGroupBox* bluetoothBox_ = nullptr;
  QLabel* bluetoothList_ = nullptr;

  QComboBox* profiles_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QString versionText_;
  bool wasConnected_ = false;
  // Whether it had the focus since it was last shown.
  bool wasActive_ = false;
  QElapsedTimer closedByFocusLoss_;
};

}  // namespace kestrune::panel
