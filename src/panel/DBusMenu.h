#pragma once
// The tray icon's menu on the session bus (com.canonical.dbusmenu, version
// 3): hosts read its layout and send the clicks back. It follows the
// TrayMenu it is given and announces what changed.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>

#include "panel/TrayMenu.h"

namespace kestrune::panel {

// (ia{sv}av): an entry, its properties and its children, each in a variant.
struct DBusMenuLayout {
  int id = 0;
  QVariantMap properties;
  QList<DBusMenuLayout> children;
};

// (ia{sv}): one entry's properties.
struct DBusMenuProperties {
  int id = 0;
  QVariantMap properties;
};
using DBusMenuPropertiesList = QList<DBusMenuProperties>;

// (ias): the properties an entry no longer has.
struct DBusMenuRemovedProperties {
  int id = 0;
  QStringList names;
};
using DBusMenuRemovedPropertiesList = QList<DBusMenuRemovedProperties>;

// (isvu): one event of a group.
struct DBusMenuEvent {
  int id = 0;
  QString eventId;
  QDBusVariant data;
  uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuRemovedProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuRemovedProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

// An entry's properties as hosts read them; defaults are left out.
QVariantMap dbusMenuProperties(const TrayMenuEntry& entry);

inline constexpr const char* dbusMenuObjectPath = "/MenuBar";

class DBusMenu : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  // cppcheck without its Qt configuration (as scripts/check.sh runs it) cannot
  // read Q_PROPERTY; with --library=qt these files are clean.
  // cppcheck-suppress unknownMacro
  Q_PROPERTY(uint Version READ version)
  Q_PROPERTY(QString TextDirection READ textDirection)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

 public:
  // Called when a host clicks an entry.
  using Activated = std::function<void(const TrayMenuEntry&)>;
  // Called when a host is about to show a submenu (to bring it up to date).
  using Opening = std::function<void(int)>;

  DBusMenu(const TrayMenu& menu, Activated activated, Opening opening, QObject* parent = nullptr);

  static void registerTypes();
  // Exports it on the bus's connection; false when it cannot be.
  bool exportOn(QDBusConnection connection);
  // After the TrayMenu was updated: tells the hosts.
  void announce(const TrayMenu::Changes& changes);

  static uint version() { return 3; }
  static QString textDirection();
  static QString status() { return QStringLiteral("normal"); }
  static QStringList iconThemePath() { return {}; }

  // The bus reads the types of these by name: written out, not aliased.
 public slots:
  Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                              kestrune::panel::DBusMenuLayout& layout);
  Q_SCRIPTABLE QList<kestrune::panel::DBusMenuProperties> GetGroupProperties(
      const QList<int>& ids, const QStringList& propertyNames);
  Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
  Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
  Q_SCRIPTABLE QList<int> EventGroup(const QList<kestrune::panel::DBusMenuEvent>& events);
  Q_SCRIPTABLE bool AboutToShow(int id);
  Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

 signals:
  Q_SCRIPTABLE void ItemsPropertiesUpdated(
      const QList<kestrune::panel::DBusMenuProperties>& updatedProps,
      const QList<kestrune::panel::DBusMenuRemovedProperties>& removedProps);
  Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
  Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

 private:
  bool handle(int id, const QString& eventId);

  const TrayMenu& menu_;
  Activated activated_;
  Opening opening_;
};

}  // namespace kestrune::panel

Q_DECLARE_METATYPE(kestrune::panel::DBusMenuLayout)
Q_DECLARE_METATYPE(kestrune::panel::DBusMenuProperties)
Q_DECLARE_METATYPE(kestrune::panel::DBusMenuRemovedProperties)
Q_DECLARE_METATYPE(kestrune::panel::DBusMenuEvent)
