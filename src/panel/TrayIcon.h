#pragma once
// The panel's icon in the desktop's status area. Where a StatusNotifierWatcher
// is on the session bus it is a StatusNotifierItem with its menu, registered
// again whenever the watcher comes back; elsewhere the old system tray
// through QSystemTrayIcon, with the same menu and tooltip; with neither
// there is no icon and the panel opens from `kestrune panel`.

#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <memory>

#include "panel/PanelModel.h"
#include "panel/RequestClient.h"
#include "panel/ScrollConvention.h"
#include "panel/TrayItem.h"
#include "panel/TrayMenu.h"

class QDBusServiceWatcher;
class QSystemTrayIcon;

namespace kestrune::panel {

class DBusMenu;
class PanelWindow;

inline constexpr const char* statusNotifierWatcherName = "org.kde.StatusNotifierWatcher";

// The icon theme's name for an output at `volume` (0-100), muted or not.
QString trayIconName(double volume, bool muted);
// "Volume 40% — Speakers", or why there is nothing to tell.
QString trayToolTipText(const PanelModel& model);
// Our own picture for an icon name, for hosts and themes without it.
QImage drawnTrayIcon(const QString& iconName, int side);
TrayPixmapList trayPixmaps(const QString& iconName);

class TrayIcon : public QObject {
  Q_OBJECT

 public:
  TrayIcon(PanelModel& model, RequestClient& requests, PanelWindow& window,
           QObject* parent = nullptr);
  ~TrayIcon() override;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Puts the icon up; false when the desktop has no place for it.
  bool start();
  // Whether an icon is up now (registered, being registered, or the old tray).
  bool isShown() const;
  // The name it holds on the session bus.
  static QString serviceName();
  // Whether the wheel goes against the host's convention.
  void setScrollInverted(bool inverted) { scrollReader_.setInverted(inverted); }

 protected:
  // The old tray's icon passes its wheel events here.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void refresh();
  void registerWithWatcher();
  void watcherGone();
  bool useSystemTray();
  void dropSystemTray();
  void rebuildQMenu();
  void choose(const TrayMenuEntry& entry);
  void askProfiles();
  void scroll(const QString& caller, ScrollHost host, int delta);
  void activate(const QPoint& anchor);
  QIcon currentIcon() const;

  PanelModel& model_;
  RequestClient& requests_;
  PanelWindow& window_;
  TrayMenu menu_;
  ScrollReader scrollReader_;
  QStringList profiles_;
  TrayItem* item_ = nullptr;
  DBusMenu* dbusMenu_ = nullptr;
  QDBusServiceWatcher* watcher_ = nullptr;
  bool onBus_ = false;
  bool watched_ = false;
  bool wasConnected_ = false;
  bool saidNoTray_ = false;
  // Without a parent widget: a menu is a window of its own.
  std::unique_ptr<QMenu> qmenu_;
  QSystemTrayIcon* systemTray_ = nullptr;
};

}  // namespace kestrune::panel
