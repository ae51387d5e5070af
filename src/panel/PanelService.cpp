#include "panel/PanelService.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include "panel/PanelWindow.h"

namespace kestrune::panel {

PanelService::PanelService(PanelWindow& window, QObject* parent)
    : QObject(parent), window_(window) {}

bool PanelService::claim() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return false;
  }
  if (!bus.registerObject(QString::fromLatin1(panelObjectPath), this,
                          QDBusConnection::ExportScriptableSlots)) {
    return false;
  }
  return bus.registerService(QString::fromLatin1(panelServiceName));
}

bool PanelService::showRunningPanel() {
  QDBusInterface running(QString::fromLatin1(panelServiceName),
                         QString::fromLatin1(panelObjectPath), QStringLiteral("org.kestrune.Panel"),
                         QDBusConnection::sessionBus());
  const QDBusMessage reply = running.call(QStringLiteral("Show"));
  return reply.type() == QDBusMessage::ReplyMessage;
}

QString PanelService::Toggle() {
  return window_.toggle() ? QStringLiteral("opened") : QStringLiteral("closed");
}

void PanelService::Show() {
  window_.present();
}

}  // namespace kestrune::panel
