#pragma once
// The EQ presets an app may be given, as one list model that every app's EQ
// menu and every device's correction menu draws: "Off", then the
// application's presets in its order, its own after the built-in ones. Until
// the application answers, or when it cannot list them, the built-in presets
// stand in. A new list changes only the rows that differ.

#include <QAbstractListModel>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "protocol/CLIResponse.h"

namespace kestrune::panel {

class PresetListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    // The name to send, as QComboBox::itemData() reads it; "off" for Off.
    nameRole = Qt::UserRole,
    parametricRole,
  };
  static constexpr int offRow = 0;

  explicit PresetListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // The application's list; "Off" stays first.
  void setPresets(std::vector<EQPresetInfo> presets);
  const std::vector<EQPresetInfo>& presets() const { return presets_; }
  // The row of a preset named so, ignoring case (Off's for "off"); nothing
  // when it is not offered.
  std::optional<int> rowOf(const std::string& name) const;
  // Whether two names are one preset: the application finds them ignoring case.
  static bool sameName(const std::string& a, const std::string& b);

 signals:
  // After a new list changed any row.
  void presetsChanged();

 private:
  std::vector<EQPresetInfo> presets_;
};

}  // namespace kestrune::panel
