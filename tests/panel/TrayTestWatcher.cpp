#include "panel/TrayTestWatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace kestrune::panel::test {

namespace {
const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
}  // namespace

bool TrayTestWatcher::start() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.registerObject(
             watcherPath, this,
             QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties) &&
         bus.registerService(watcherName);
}

void TrayTestWatcher::stop() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(watcherName);
  bus.unregisterObject(watcherPath);
  items_.clear();
}

void TrayTestWatcher::RegisterStatusNotifierItem(const QString& service) {
  const QString sender = message().service();
  registrations_ << service + QStringLiteral(" from ") + sender;
  items_ << service;
  emit StatusNotifierItemRegistered(service);
}

void TrayTestWatcher::RegisterStatusNotifierHost(const QString& /*service*/) {}

}  // namespace kestrune::panel::test
