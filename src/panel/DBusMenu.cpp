#include "panel/DBusMenu.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QGuiApplication>
#include <utility>

namespace kestrune::panel {

namespace {

using Kind = TrayMenuEntry::Kind;

// Hosts read a single underscore as the mnemonic's mark.
QString escapedLabel(const QString& label) {
  QString escaped = label;
  return escaped.replace(QLatin1Char('_'), QStringLiteral("__"));
}

QVariantMap filtered(const QVariantMap& properties, const QStringList& names) {
  if (names.isEmpty()) {
    return properties;
  }
  QVariantMap kept;
  for (const QString& name : names) {
    const auto found = properties.constFind(name);
    if (found != properties.constEnd()) {
      kept.insert(name, found.value());
    }
  }
  return kept;
}

DBusMenuLayout layoutOf(const TrayMenuEntry& entry, int depth, const QStringList& names) {
  DBusMenuLayout layout{entry.id, filtered(dbusMenuProperties(entry), names), {}};
  if (depth != 0) {
    for (const TrayMenuEntry& child : entry.children) {
      layout.children.append(layoutOf(child, depth < 0 ? depth : depth - 1, names));
    }
  }
  return layout;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayout& layout) {
  argument.beginStructure();
  argument << layout.id << layout.properties;
  argument.beginArray(QMetaType::fromType<QDBusVariant>());
  for (const DBusMenuLayout& child : layout.children) {
    argument << QDBusVariant(QVariant::fromValue(child));
  }
  argument.endArray();
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayout& layout) {
  argument.beginStructure();
  argument >> layout.id >> layout.properties;
  layout.children.clear();
  argument.beginArray();
  while (!argument.atEnd()) {
    QDBusVariant child;
    argument >> child;
    const auto nested = qvariant_cast<QDBusArgument>(child.variant());
    DBusMenuLayout decoded;
    nested >> decoded;
    layout.children.append(decoded);
  }
  argument.endArray();
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuProperties& item) {
  argument.beginStructure();
  argument << item.id << item.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuProperties& item) {
  argument.beginStructure();
  argument >> item.id >> item.properties;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuRemovedProperties& item) {
  argument.beginStructure();
  argument << item.id << item.names;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuRemovedProperties& item) {
  argument.beginStructure();
  argument >> item.id >> item.names;
  argument.endStructure();
  return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event) {
  argument.beginStructure();
  argument << event.id << event.eventId << event.data << event.timestamp;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event) {
  argument.beginStructure();
  argument >> event.id >> event.eventId >> event.data >> event.timestamp;
  argument.endStructure();
  return argument;
}

QVariantMap dbusMenuProperties(const TrayMenuEntry& entry) {
  QVariantMap properties;
  switch (entry.kind) {
    case Kind::separator:
      properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
      return properties;
    case Kind::radio:
    case Kind::checkmark:
      properties.insert(QStringLiteral("toggle-type"), entry.kind == Kind::radio
                                                           ? QStringLiteral("radio")
                                                           : QStringLiteral("checkmark"));
      properties.insert(QStringLiteral("toggle-state"), entry.toggled ? 1 : 0);
      break;
    case Kind::submenu:
      properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
      break;
    case Kind::action:
      break;
  }
  if (!entry.label.isEmpty()) {
    properties.insert(QStringLiteral("label"), escapedLabel(entry.label));
  }
  if (!entry.enabled) {
    properties.insert(QStringLiteral("enabled"), false);
  }
  return properties;
}

DBusMenu::DBusMenu(const TrayMenu& menu, Activated activated, Opening opening, QObject* parent)
    : QObject(parent),
      menu_(menu),
      activated_(std::move(activated)),
      opening_(std::move(opening)) {}

void DBusMenu::registerTypes() {
  qDBusRegisterMetaType<DBusMenuLayout>();
  qDBusRegisterMetaType<DBusMenuProperties>();
  qDBusRegisterMetaType<DBusMenuPropertiesList>();
  qDBusRegisterMetaType<DBusMenuRemovedProperties>();
  qDBusRegisterMetaType<DBusMenuRemovedPropertiesList>();
  qDBusRegisterMetaType<DBusMenuEvent>();
  qDBusRegisterMetaType<DBusMenuEventList>();
}

bool DBusMenu::exportOn(QDBusConnection connection) {
  return connection.registerObject(
      QString::fromLatin1(dbusMenuObjectPath), this,
      QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties);
}

void DBusMenu::announce(const TrayMenu::Changes& changes) {
  if (changes.layout) {
    emit LayoutUpdated(menu_.revision(), 0);
    return;
  }
  if (changes.entries.empty()) {
    return;
  }
  DBusMenuPropertiesList updated;
  for (const int id : changes.entries) {
    if (const TrayMenuEntry* entry = menu_.find(id)) {
      QVariantMap properties = dbusMenuProperties(*entry);
      // Said outright: an entry enabled again has no property left to remove.
      properties.insert(QStringLiteral("enabled"), entry->enabled);
      updated.append(DBusMenuProperties{id, properties});
    }
  }
  emit ItemsPropertiesUpdated(updated, {});
}

QString DBusMenu::textDirection() {
  return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                               : QStringLiteral("ltr");
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                         DBusMenuLayout& layout) {
  const TrayMenuEntry* parent = menu_.find(parentId);
  if (parent == nullptr) {
    sendErrorReply(QDBusError::InvalidArgs,
                   QStringLiteral("There is no menu entry %1.").arg(parentId));
    return 0;
  }
  layout = layoutOf(*parent, recursionDepth, propertyNames);
  return menu_.revision();
}

DBusMenuPropertiesList DBusMenu::GetGroupProperties(const QList<int>& ids,
                                                    const QStringList& propertyNames) {
  DBusMenuPropertiesList found;
  for (const int id : ids) {
    if (const TrayMenuEntry* entry = menu_.find(id)) {
      found.append(DBusMenuProperties{id, filtered(dbusMenuProperties(*entry), propertyNames)});
    }
  }
  return found;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name) {
  const TrayMenuEntry* entry = menu_.find(id);
  const QVariantMap properties = entry ? dbusMenuProperties(*entry) : QVariantMap{};
  const auto found = properties.constFind(name);
  if (found == properties.constEnd()) {
    sendErrorReply(QDBusError::InvalidArgs,
                   QStringLiteral("Menu entry %1 has no property %2.").arg(id).arg(name));
    return {};
  }
  return QDBusVariant(found.value());
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant& /*data*/,
                     uint /*timestamp*/) {
  if (!handle(id, eventId)) {
    sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("There is no menu entry %1.").arg(id));
  }
}

QList<int> DBusMenu::EventGroup(const DBusMenuEventList& events) {
  QList<int> idErrors;
  for (const DBusMenuEvent& event : events) {
    if (!handle(event.id, event.eventId)) {
      idErrors.append(event.id);
    }
  }
  return idErrors;
}

bool DBusMenu::AboutToShow(int id) {
  if (opening_) {
    opening_(id);
  }
  // What opening brings arrives later, announced like any other change.
  return false;
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
  for (const int id : ids) {
    if (menu_.find(id) == nullptr) {
      idErrors.append(id);
    } else if (opening_) {
      opening_(id);
    }
  }
  return {};
}

bool DBusMenu::handle(int id, const QString& eventId) {
  const TrayMenuEntry* entry = menu_.find(id);
  if (entry == nullptr) {
    return false;
  }
  if (eventId == QStringLiteral("clicked") && activated_) {
    // A copy: what it does may change the menu.
    const TrayMenuEntry chosen = *entry;
    activated_(chosen);
  }
  return true;
}

}  // namespace kestrune::panel
