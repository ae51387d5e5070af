#pragma once
// The apps' rows, drawn from the app list model: a row is made when its app
// appears, changed in place when its app changes, and taken away when it
// leaves. The rows scroll inside a bounded area; each sends what its
// controls are made to do, and the feed brings the outcome back.

#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QSlider>
#include <QToolButton>
#include <vector>

#include "panel/ElidedLabel.h"
#include "panel/PanelModel.h"
#include "panel/RequestClient.h"
#include "panel/SendThrottle.h"

namespace kestrune::panel {

class AppRow : public QWidget {
  Q_OBJECT

 public:
  AppRow(PanelModel& model, RequestClient& requests, const CLIAppInfo& app, QWidget* parent);

  void showApp(const CLIAppInfo& app, const QPixmap& icon);
  void fillDevices();
  // The app's preset chosen again, after the presets on offer changed.
  void showEQ();
  const std::string& id() const { return id_; }

 private:
  void build(const QString& name);
  void showEQ(const CLIAppInfo& app);

  PanelModel& model_;
  RequestClient& requests_;
  std::string id_;
  QLabel* icon_ = nullptr;
  ElidedLabel* name_ = nullptr;
  QSlider* volume_ = nullptr;
  QLabel* percent_ = nullptr;
  QToolButton* mute_ = nullptr;
  QToolButton* solo_ = nullptr;
  QComboBox* eq_ = nullptr;
  QComboBox* device_ = nullptr;
  SendThrottle* throttle_ = nullptr;
  qint64 iconKey_ = 0;
};

class AppListView : public QScrollArea {
  Q_OBJECT

 public:
  AppListView(PanelModel& model, RequestClient& requests, QWidget* parent = nullptr);

  // As tall as its rows, so the panel grows with them up to its limit.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 private:
  void insertRows(int first, int last);
  void removeRows(int first, int last);
  void changeRows(int first, int last);
  void rebuild();
  void fillDevices();
  QPixmap iconFor(int row);

  PanelModel& model_;
  RequestClient& requests_;
  QWidget* content_ = nullptr;
  std::vector<AppRow*> rows_;
  QHash<QString, QPixmap> icons_;
  // Every row is as wide as any other, whatever its app's name.
  int rowWidth_ = 0;
};

}  // namespace kestrune::panel
