#pragma once
// A StatusNotifierWatcher of the smallest kind, as a desktop's status area
// runs one: it takes the registrations of tray items on the session bus and
// remembers who made them. It can leave the bus and come back, as a
// restarted status area does.

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>

namespace kestrune::panel::test {

class TrayTestWatcher : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
  Q_PROPERTY(int ProtocolVersion READ protocolVersion)

 public:
  using QObject::QObject;

  // Takes the watcher's name and object; false when it cannot.
  bool start();
  void stop();

  // "SERVICE from SENDER", one per registration, in order.
  const QStringList& registrations() const { return registrations_; }
  QStringList registeredItems() const { return items_; }
  static bool hostRegistered() { return true; }
  static int protocolVersion() { return 0; }

 public slots:
  Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service);
  Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString& service);

 signals:
  Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString& service);

 private:
  QStringList registrations_;
  QStringList items_;
};

}  // namespace kestrune::panel::test
