#include "panel/TrayItem.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <utility>

#include "panel/DBusMenu.h"

namespace kestrune::panel {

QDBusArgument& operator<<(QDBusArgument& argument, const TrayPixmap& pixmap) {
  argument.beginStructure();
  argument << pixmap.width << pixmap.height << pixmap.bytes;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TrayPixmap& pixmap) {
  argument.beginStructure();
  argument >> pixmap.width >> pixmap.height >> pixmap.bytes;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const TrayToolTip& toolTip) {
  argument.beginStructure();
  argument << toolTip.iconName << toolTip.pixmaps << toolTip.title << toolTip.text;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TrayToolTip& toolTip) {
  argument.beginStructure();
  argument >> toolTip.iconName >> toolTip.pixmaps >> toolTip.title >> toolTip.text;
  argument.endStructure();
  return argument;
}

TrayItem::TrayItem(Handlers handlers, QObject* parent)
    : QObject(parent), handlers_(std::move(handlers)) {}

void TrayItem::registerTypes() {
  qDBusRegisterMetaType<TrayPixmap>();
  qDBusRegisterMetaType<TrayPixmapList>();
  qDBusRegisterMetaType<TrayToolTip>();
}

bool TrayItem::exportOn(QDBusConnection connection) {
  return connection.registerObject(
      QString::fromLatin1(trayItemObjectPath), this,
      QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties);
}

void TrayItem::setIcon(const QString& name, const TrayPixmapList& pixmaps) {
  if (name == iconName_) {
    return;
  }
  iconName_ = name;
  pixmaps_ = pixmaps;
  emit NewIcon();
}

void TrayItem::setToolTip(const QString& text) {
  if (text == toolTipText_) {
    return;
  }
  toolTipText_ = text;
  emit NewToolTip();
}

void TrayItem::setStatus(const QString& status) {
  if (status == status_) {
    return;
  }
  status_ = status;
  emit NewStatus(status_);
}

TrayToolTip TrayItem::toolTip() const {
  return TrayToolTip{iconName_, {}, title(), toolTipText_};
}

QDBusObjectPath TrayItem::menu() {
  return QDBusObjectPath(QString::fromLatin1(dbusMenuObjectPath));
}

void TrayItem::Activate(int x, int y) {
  if (handlers_.activate) {
    handlers_.activate(x, y);
  }
}

void TrayItem::SecondaryActivate(int x, int y) {
  if (handlers_.secondaryActivate) {
    handlers_.secondaryActivate(x, y);
  }
}

void TrayItem::ContextMenu(int x, int y) {
  if (handlers_.contextMenu) {
    handlers_.contextMenu(x, y);
  }
}

void TrayItem::Scroll(int delta, const QString& orientation) {
  // Sideways scrolling has no agreed direction among hosts: only the wheel's.
  if (orientation.compare(QStringLiteral("vertical"), Qt::CaseInsensitive) != 0) {
    return;
  }
  if (handlers_.scroll) {
    const ScrollCaller caller = scrollCaller();
    handlers_.scroll(caller.name, caller.host, delta);
  }
}

void TrayItem::ProvideXdgActivationToken(const QString& token) {
  if (handlers_.activationToken) {
    handlers_.activationToken(token);
  }
}

// The caller by its process name where it can be read: a host may call
// over more than one connection.
TrayItem::ScrollCaller TrayItem::scrollCaller() {
  if (!calledFromDBus()) {
    return {};
  }
  const QString sender = message().service();
  const auto known = callers_.find(sender);
  if (known != callers_.end()) {
    return known->second;
  }
  const QDBusReply<uint> pid = connection().interface()->servicePid(sender);
  const QString name = pid.isValid() ? processName(pid.value()) : QString();
  ScrollCaller caller{name.isEmpty() ? sender : name, scrollHostNamed(name)};
  callers_.emplace(sender, caller);
  return caller;
}

}  // namespace kestrune::panel
