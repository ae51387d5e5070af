#include "panel/PresetListModel.h"

#include <algorithm>

#include "panel/DisplayText.h"

namespace kestrune::panel {

namespace {

// What every application has, for one that cannot list its presets.
std::vector<EQPresetInfo> builtInPresets() {
  std::vector<EQPresetInfo> presets;
  for (const char* name : {"flat", "rock", "pop", "jazz", "classical", "bassBoost", "trebleBoost",
                           "vocal", "loudness"}) {
    presets.push_back({name, false});
  }
  return presets;
}

bool samePreset(const EQPresetInfo& a, const EQPresetInfo& b) {
  return a.name == b.name && a.isParametric == b.isParametric;
}

}  // namespace

PresetListModel::PresetListModel(QObject* parent)
    : QAbstractListModel(parent), presets_(builtInPresets()) {}

int PresetListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(presets_.size()) + 1;
}

QVariant PresetListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  if (index.row() == offRow) {
    switch (role) {
      case Qt::DisplayRole:
        return QStringLiteral("Off");
      case nameRole:
        return QStringLiteral("off");
      default:
        return {};
    }
  }
  const EQPresetInfo& preset = presets_[static_cast<std::size_t>(index.row() - 1)];
  switch (role) {
    case Qt::DisplayRole:
      return visibleName(preset.name);
    case Qt::ToolTipRole:
      return preset.isParametric
                 ? QStringLiteral("%1 (filters of its own)").arg(visibleName(preset.name))
                 : visibleName(preset.name);
    case nameRole:
      return QString::fromStdString(preset.name);
    case parametricRole:
      return preset.isParametric;
    default:
      return {};
  }
}

void PresetListModel::setPresets(std::vector<EQPresetInfo> presets) {
  const auto kept = static_cast<std::ptrdiff_t>(std::min(presets_.size(), presets.size()));
  const auto firstChange =
      std::mismatch(presets_.begin(), presets_.begin() + kept, presets.begin(), samePreset);
  const bool sameLength = presets_.size() == presets.size();
  if (sameLength && firstChange.first == presets_.begin() + kept) {
    return;
  }
  const auto changedFrom = static_cast<int>(firstChange.first - presets_.begin());
  const auto keptRows = static_cast<int>(kept);
  // Rows 1..size: the presets after Off.
  if (presets.size() < presets_.size()) {
    beginRemoveRows({}, keptRows + 1, static_cast<int>(presets_.size()));
    presets_.resize(static_cast<std::size_t>(kept));
    endRemoveRows();
  }
  std::copy(presets.begin(), presets.begin() + keptRows, presets_.begin());
  if (changedFrom < keptRows) {
    emit dataChanged(index(changedFrom + 1), index(keptRows));
  }
  if (presets.size() > presets_.size()) {
    beginInsertRows({}, keptRows + 1, static_cast<int>(presets.size()));
    presets_.insert(presets_.end(), presets.begin() + keptRows, presets.end());
    endInsertRows();
  }
  emit presetsChanged();
}

bool PresetListModel::sameName(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

std::optional<int> PresetListModel::rowOf(const std::string& name) const {
  if (sameName(name, "off")) {
    return offRow;
  }
  const auto found =
      std::find_if(presets_.begin(), presets_.end(),
                   [&name](const EQPresetInfo& preset) { return sameName(preset.name, name); });
  if (found == presets_.end()) {
    return std::nullopt;
  }
  return static_cast<int>(found - presets_.begin()) + 1;
}

}  // namespace kestrune::panel
