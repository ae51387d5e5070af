#pragma once
// The tray icon on the session bus (org.kde.StatusNotifierItem): what
// hosts show (icon, tooltip) and what they send back (clicks, scrolling).
// Its look is set from outside; it announces only what changed.

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <map>

#include "panel/ScrollConvention.h"

namespace kestrune::panel {

// (iiay): one picture, ARGB32 in network byte order.
struct TrayPixmap {
  int width = 0;
  int height = 0;
  QByteArray bytes;
};
using TrayPixmapList = QList<TrayPixmap>;

// (sa(iiay)ss): icon name, pictures, title, text.
struct TrayToolTip {
  QString iconName;
  TrayPixmapList pixmaps;
  QString title;
  QString text;
};

QDBusArgument& operator<<(QDBusArgument& argument, const TrayPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, TrayPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const TrayToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, TrayToolTip& toolTip);

inline constexpr const char* trayItemObjectPath = "/StatusNotifierItem";

class TrayItem : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  // cppcheck without its Qt configuration (as scripts/check.sh runs it) cannot
  // read Q_PROPERTY; with --library=qt these files are clean.
  // cppcheck-suppress unknownMacro
  Q_PROPERTY(QString Category READ category)
  Q_PROPERTY(QString Id READ id)
  Q_PROPERTY(QString Title READ title)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(int WindowId READ windowId)
  Q_PROPERTY(QString IconName READ iconName)
  Q_PROPERTY(kestrune::panel::TrayPixmapList IconPixmap READ iconPixmap)
  Q_PROPERTY(QString OverlayIconName READ emptyName)
  Q_PROPERTY(kestrune::panel::TrayPixmapList OverlayIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionIconName READ emptyName)
  Q_PROPERTY(kestrune::panel::TrayPixmapList AttentionIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionMovieName READ emptyName)
  Q_PROPERTY(QString IconThemePath READ emptyName)
  Q_PROPERTY(kestrune::panel::TrayToolTip ToolTip READ toolTip)
  Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
  Q_PROPERTY(QDBusObjectPath Menu READ menu)

 public:
  struct Handlers {
    std::function<void(int, int)> activate;
    std::function<void(int, int)> secondaryActivate;
    std::function<void(int, int)> contextMenu;
    // A vertical Scroll: who sent it, the convention of that host, the delta.
    std::function<void(const QString&, ScrollHost, int)> scroll;
    // A token from the host's own activation, for the next window shown.
    std::function<void(const QString&)> activationToken;
  };

  explicit TrayItem(Handlers handlers, QObject* parent = nullptr);

  static void registerTypes();
  bool exportOn(QDBusConnection connection);

  // Each announces itself only when it differs from what hosts have.
  void setIcon(const QString& name, const TrayPixmapList& pixmaps);
  void setToolTip(const QString& text);
  void setStatus(const QString& status);

  static QString category() { return QStringLiteral("Hardware"); }
  static QString id() { return QStringLiteral("kestrune"); }
  static QString title() { return QStringLiteral("Kestrune"); }
  QString status() const { return status_; }
  static int windowId() { return 0; }
  QString iconName() const { return iconName_; }
  TrayPixmapList iconPixmap() const { return pixmaps_; }
  static QString emptyName() { return {}; }
  static TrayPixmapList noPixmaps() { return {}; }
  TrayToolTip toolTip() const;
  static bool itemIsMenu() { return false; }
  static QDBusObjectPath menu();

 public slots:
  Q_SCRIPTABLE void Activate(int x, int y);
  Q_SCRIPTABLE void SecondaryActivate(int x, int y);
  Q_SCRIPTABLE void ContextMenu(int x, int y);
  Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);
  Q_SCRIPTABLE void ProvideXdgActivationToken(const QString& token);

 signals:
  Q_SCRIPTABLE void NewTitle();
  Q_SCRIPTABLE void NewIcon();
  Q_SCRIPTABLE void NewAttentionIcon();
  Q_SCRIPTABLE void NewOverlayIcon();
  Q_SCRIPTABLE void NewToolTip();
  Q_SCRIPTABLE void NewStatus(const QString& status);

 private:
  struct ScrollCaller {
    QString name;
    ScrollHost host = ScrollHost::unknown;
  };
  ScrollCaller scrollCaller();

  Handlers handlers_;
  // By unique bus name: a connection's process does not change.
  std::map<QString, ScrollCaller> callers_;
  QString iconName_;
  TrayPixmapList pixmaps_;
  QString toolTipText_;
  QString status_ = QStringLiteral("Active");
};

}  // namespace kestrune::panel

Q_DECLARE_METATYPE(kestrune::panel::TrayPixmap)
Q_DECLARE_METATYPE(kestrune::panel::TrayToolTip)
