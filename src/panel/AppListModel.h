#pragma once
// The apps as a list model keyed by app id: an `app` frame changes or adds
// one row, `app-removed` removes one; the other rows are left alone, so
// views redraw only what changed.

#include <QAbstractListModel>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "protocol/CLIResponse.h"

namespace kestrune::panel {

class AppListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    idRole = Qt::UserRole + 1,
    volumeRole,
    mutedRole,
    eqPresetRole,
    deviceRole,
    iconNameRole,
  };

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  // Every app at once, as a snapshot brings them.
  void reset(std::vector<CLIAppInfo> apps, std::vector<std::string> iconNames);
  // Changes the app's row in place, or adds a row at the end.
  void put(CLIAppInfo app, std::string iconName);
  void remove(const std::string& id);

  const CLIAppInfo* find(const std::string& id) const;
  const CLIAppInfo& at(int row) const { return rows_[static_cast<std::size_t>(row)].app; }
  const std::string& iconNameAt(int row) const {
    return rows_[static_cast<std::size_t>(row)].iconName;
  }
  std::optional<int> rowOf(const std::string& id) const;

 private:
  struct Row {
    CLIAppInfo app;
    std::string iconName;
  };
  std::vector<Row> rows_;
};

}  // namespace kestrune::panel
