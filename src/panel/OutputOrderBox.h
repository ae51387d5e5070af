#pragma once
// The output order and how devices are treated as they come, as the daemon
// reads them from devices.json: the listed outputs first, then the present
// ones not listed, each movable up or down and with its "Correction" menu
// (the EQ preset everything played there goes through); and the three
// settings. Each change is written to the file at once; the file is the
// only state.

#include <QCheckBox>
#include <QGroupBox>
#include <QMenu>
#include <QSpinBox>
#include <QString>
#include <QToolButton>
#include <QVBoxLayout>
#include <optional>
#include <string>
#include <vector>

#include "panel/DevicesFile.h"
#include "panel/PanelModel.h"

namespace kestrune::panel {

class OutputOrderBox : public QGroupBox {
  Q_OBJECT

 public:
  OutputOrderBox(const PanelModel& model, QWidget* parent);

  // The daemon's --config directory, when it was given one.
  void setConfigOverride(const QString& directory);
  // Reads the file again and shows it.
  void refresh();

 signals:
  // Why the file was left alone, or empty when it is fine.
  void problemChanged(const QString& sentence);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Entry {
    std::string uid;
    QString name;
    std::optional<std::string> correction;
  };
  std::vector<Entry> entries(const DeviceSettings& settings) const;
  void showEntries(const std::vector<Entry>& shown);
  void showSettings(const DeviceSettings& settings);
  QToolButton* correctionButton(const Entry& entry, QWidget* row);
  void fillCorrectionMenu(QMenu* menu, const Entry& entry);
  void move(const std::string& uid, int step);
  void change(const std::function<void(json::Object&)>& edit);
  QSpinBox* percentBox(const QString& label, const std::string& key, QVBoxLayout* layout);

  const PanelModel& model_;
  QString override_;
  QVBoxLayout* rows_ = nullptr;
  QCheckBox* switchOnConnect_ = nullptr;
  QSpinBox* newDeviceVolume_ = nullptr;
  QSpinBox* maxVolume_ = nullptr;
};

}  // namespace kestrune::panel
