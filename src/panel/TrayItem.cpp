#include "panel/TrayItem.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <algorithm>
#include <utility>

#include "panel/DBusMenu.h"

namespace kestrune::panel {

namespace {
constexpr int maxScrollSteps = 5;
}

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

int scrollSteps(int delta) {
  if (delta == 0) {
    return 0;
  }
  const int steps = std::clamp(std::abs(delta) / scrollUnitsPerStep, 1, maxScrollSteps);
  return delta > 0 ? steps : -steps;
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
  const int steps = scrollSteps(delta);
  if (steps != 0 && handlers_.scroll) {
    handlers_.scroll(steps);
  }
}

}  // namespace kestrune::panel
