#include "panel/AppListModel.h"

#include <algorithm>
#include <utility>

namespace kestrune::panel {

namespace {

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

int AppListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant AppListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
    return {};
  }
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return qs(row.app.name);
    case idRole:
      return qs(row.app.id);
    case volumeRole:
      return row.app.volume;
    case mutedRole:
      return row.app.isMuted;
    case eqPresetRole:
      return row.app.eqPreset ? qs(*row.app.eqPreset) : QString();
    case deviceRole:
      return row.app.deviceUID ? qs(*row.app.deviceUID) : QString();
    case iconNameRole:
      return qs(row.iconName);
    default:
      return {};
  }
}

QHash<int, QByteArray> AppListModel::roleNames() const {
  QHash<int, QByteArray> names = QAbstractListModel::roleNames();
  names.insert(idRole, "id");
  names.insert(volumeRole, "volume");
  names.insert(mutedRole, "muted");
  names.insert(eqPresetRole, "eqPreset");
  names.insert(deviceRole, "device");
  names.insert(iconNameRole, "iconName");
  return names;
}

void AppListModel::reset(std::vector<CLIAppInfo> apps, std::vector<std::string> iconNames) {
  beginResetModel();
  rows_.clear();
  rows_.reserve(apps.size());
  for (std::size_t i = 0; i < apps.size(); ++i) {
    rows_.push_back(Row{std::move(apps[i]), i < iconNames.size() ? iconNames[i] : std::string()});
  }
  endResetModel();
}

void AppListModel::put(CLIAppInfo app, std::string iconName) {
  if (const std::optional<int> row = rowOf(app.id)) {
    rows_[static_cast<std::size_t>(*row)] = Row{std::move(app), std::move(iconName)};
    const QModelIndex changed = index(*row);
    emit dataChanged(changed, changed);
    return;
  }
  const int end = rowCount();
  beginInsertRows({}, end, end);
  rows_.push_back(Row{std::move(app), std::move(iconName)});
  endInsertRows();
}

void AppListModel::remove(const std::string& id) {
  const std::optional<int> row = rowOf(id);
  if (!row) {
    return;
  }
  beginRemoveRows({}, *row, *row);
  rows_.erase(rows_.begin() + *row);
  endRemoveRows();
}

const CLIAppInfo* AppListModel::find(const std::string& id) const {
  const std::optional<int> row = rowOf(id);
  return row ? &at(*row) : nullptr;
}

std::optional<int> AppListModel::rowOf(const std::string& id) const {
  const auto found =
      std::find_if(rows_.begin(), rows_.end(), [&](const Row& row) { return row.app.id == id; });
  if (found == rows_.end()) {
    return std::nullopt;
  }
  return static_cast<int>(found - rows_.begin());
}

}  // namespace kestrune::panel
