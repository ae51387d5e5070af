#include "panel/OutputOrderBox.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>
#include <iterator>
#include <memory>

#include "panel/Controls.h"
#include "panel/DisplayText.h"
#include "panel/ElidedLabel.h"

namespace kestrune::panel {

namespace {

constexpr int nameChars = 24;
constexpr int correctionChars = 10;
// The spin boxes' lowest value stands for a member left out of the file.
constexpr int off = -1;

std::optional<std::string> correctionOf(const DeviceSettings& settings, const std::string& uid) {
  const auto found = settings.correction.find(uid);
  return found == settings.correction.end() ? std::nullopt : std::optional(found->second);
}

bool sameCorrection(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  return a && b ? PresetListModel::sameName(*a, *b) : a.has_value() == b.has_value();
}

std::optional<int> percentOf(const QSpinBox* box) {
  return box->value() == off ? std::nullopt : std::optional<int>(box->value());
}

void setPercentQuietly(QSpinBox* box, std::optional<int> value) {
  const QSignalBlocker blocker(box);
  box->setValue(value.value_or(off));
}

}  // namespace

OutputOrderBox::OutputOrderBox(const PanelModel& model, QWidget* parent)
    : QGroupBox(QStringLiteral("Output order"), parent), model_(model) {
  setAccessibleName(QStringLiteral("Output order"));
  auto* layout = new QVBoxLayout(this);
  rows_ = new QVBoxLayout();
  rows_->setSpacing(0);
  layout->addLayout(rows_);
  switchOnConnect_ = new QCheckBox(QStringLiteral("Switch on connect"), this);
  switchOnConnect_->setAccessibleName(QStringLiteral("Switch on connect"));
  connect(switchOnConnect_, &QCheckBox::toggled, this, [this](bool on) {
    change([on](json::Object& object) { object.set("switchOnConnect", json::Value(on)); });
  });
  layout->addWidget(switchOnConnect_);
  newDeviceVolume_ = percentBox(QStringLiteral("New device volume"), "newDeviceVolume", layout);
  maxVolume_ = percentBox(QStringLiteral("Maximum volume"), "maxVolume", layout);
}

QSpinBox* OutputOrderBox::percentBox(const QString& label, const std::string& key,
                                     QVBoxLayout* layout) {
  auto* line = new QHBoxLayout();
  auto* box = new QSpinBox(this);
  box->setRange(off, 100);
  box->setSuffix(QStringLiteral(" %"));
  box->setSpecialValueText(QStringLiteral("Off"));
  box->setAccessibleName(label);
  auto* caption = new QLabel(label, this);
  caption->setBuddy(box);
  line->addWidget(caption, 1);
  line->addWidget(box);
  layout->addLayout(line);
  connect(box, &QSpinBox::valueChanged, this, [this, box, key] {
    const std::optional<int> value = percentOf(box);
    change([&key, value](json::Object& object) { setOptionalPercent(object, key, value); });
  });
  return box;
}

void OutputOrderBox::setConfigOverride(const QString& directory) {
  override_ = directory;
  refresh();
}

void OutputOrderBox::showEvent(QShowEvent* event) {
  refresh();
  QGroupBox::showEvent(event);
}

void OutputOrderBox::refresh() {
  auto found = DevicesFile(configDirectory(override_)).read();
  const auto* object = std::get_if<json::Object>(&found);
  const DeviceSettings settings = object ? deviceSettings(*object) : DeviceSettings{};
  showEntries(entries(settings));
  showSettings(settings);
  emit problemChanged(object ? QString() : std::get<DevicesFileProblem>(found).sentence);
}

std::vector<OutputOrderBox::Entry> OutputOrderBox::entries(const DeviceSettings& settings) const {
  const std::vector<CLIDeviceInfo>& devices = model_.state().devices;
  const auto present = [&devices](const std::string& uid) {
    return std::find_if(devices.begin(), devices.end(), [&uid](const CLIDeviceInfo& device) {
      return device.isOutput && device.uid == uid;
    });
  };
  std::vector<Entry> shown;
  for (const std::string& uid : settings.output) {
    const auto device = present(uid);
    shown.push_back({uid, device == devices.end() ? visibleName(uid) : visibleName(device->name),
                     correctionOf(settings, uid)});
  }
  for (const CLIDeviceInfo& device : devices) {
    const bool listed = std::find(settings.output.begin(), settings.output.end(), device.uid) !=
                        settings.output.end();
    if (device.isOutput && !listed) {
      shown.push_back({device.uid, visibleName(device.name), correctionOf(settings, device.uid)});
    }
  }
  return shown;
}

void OutputOrderBox::showEntries(const std::vector<Entry>& shown) {
  // A row's button may be the one being clicked: rows go once it returns.
  while (std::unique_ptr<QLayoutItem> item{rows_->takeAt(0)}) {
    if (QWidget* row = item->widget()) {
      row->hide();
      row->deleteLater();
    }
  }
  for (std::size_t index = 0; index < shown.size(); ++index) {
    const Entry& entry = shown[index];
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* name = new ElidedLabel(nameChars, row);
    name->setFullText(entry.name);
    line->addWidget(name, 1);
    line->addWidget(correctionButton(entry, row));
    auto* up = toolButton(QStringLiteral("go-up"), QStringLiteral("Up"),
                          QStringLiteral("Move %1 up").arg(entry.name), row);
    auto* down = toolButton(QStringLiteral("go-down"), QStringLiteral("Down"),
                            QStringLiteral("Move %1 down").arg(entry.name), row);
    up->setToolButtonStyle(Qt::ToolButtonIconOnly);
    down->setToolButtonStyle(Qt::ToolButtonIconOnly);
    up->setEnabled(index > 0);
    down->setEnabled(index + 1 < shown.size());
    const std::string uid = entry.uid;
    connect(up, &QToolButton::clicked, this, [this, uid] { move(uid, -1); });
    connect(down, &QToolButton::clicked, this, [this, uid] { move(uid, 1); });
    line->addWidget(up);
    line->addWidget(down);
    rows_->addWidget(row);
    // A layout shows a new child of a shown box only later; the rows are
    // there the moment the file is shown.
    row->setVisible(isVisible());
  }
}

QToolButton* OutputOrderBox::correctionButton(const Entry& entry, QWidget* row) {
  auto* button = new QToolButton(row);
  button->setPopupMode(QToolButton::InstantPopup);
  const QString preset = entry.correction ? visibleName(*entry.correction) : QString();
  // Every row's button as wide, whatever its preset's name, with room for the arrow.
  const QFontMetrics metrics = fontMetrics();
  const int textWidth = metrics.averageCharWidth() * correctionChars;
  button->setFixedWidth(textWidth + 2 * metrics.height());
  button->setText(preset.isEmpty() ? QStringLiteral("Correction")
                                   : metrics.elidedText(preset, Qt::ElideMiddle, textWidth));
  button->setToolTip(preset.isEmpty() ? QStringLiteral("No correction")
                                      : QStringLiteral("Correction: %1").arg(preset));
  button->setAccessibleName(QStringLiteral("Correction of %1").arg(entry.name));
  button->setAccessibleDescription(preset.isEmpty() ? QStringLiteral("None") : preset);
  auto* menu = new QMenu(button);
  // Filled as it opens: the presets on offer may have changed since the row was made.
  connect(menu, &QMenu::aboutToShow, this,
          [this, menu, entry] { fillCorrectionMenu(menu, entry); });
  button->setMenu(menu);
  return button;
}

void OutputOrderBox::fillCorrectionMenu(QMenu* menu, const Entry& entry) {
  menu->clear();
  auto* group = new QActionGroup(menu);
  const auto choice = [&](const QString& text, const std::optional<std::string>& preset) {
    QAction* action = menu->addAction(text);
    action->setCheckable(true);
    action->setChecked(sameCorrection(preset, entry.correction));
    group->addAction(action);
    connect(action, &QAction::triggered, this, [this, uid = entry.uid, preset] {
      change([&uid, &preset](json::Object& object) { setCorrection(object, uid, preset); });
    });
    return action;
  };
  choice(QStringLiteral("None"), std::nullopt);
  menu->addSeparator();
  for (const EQPresetInfo& preset : model_.presets().presets()) {
    choice(visibleName(preset.name), preset.name);
  }
  if (entry.correction && !model_.presets().rowOf(*entry.correction)) {
    // Named in the file but not on offer (yet): shown, so that it can be seen and undone.
    choice(QStringLiteral("%1 (not found)").arg(visibleName(*entry.correction)), entry.correction);
  }
}

void OutputOrderBox::showSettings(const DeviceSettings& settings) {
  setCheckedQuietly(switchOnConnect_, settings.switchOnConnect);
  setPercentQuietly(newDeviceVolume_, settings.newDeviceVolume);
  setPercentQuietly(maxVolume_, settings.maxVolume);
}

void OutputOrderBox::move(const std::string& uid, int step) {
  change([this, &uid, step](json::Object& object) {
    // The order as the file holds it now, not as it was last shown.
    std::vector<Entry> order = entries(deviceSettings(object));
    const auto at = std::find_if(order.begin(), order.end(),
                                 [&uid](const Entry& entry) { return entry.uid == uid; });
    const auto index = std::distance(order.begin(), at);
    const auto other = index + step;
    if (at == order.end() || other < 0 || other >= std::ssize(order)) {
      return;
    }
    std::swap(order[static_cast<std::size_t>(index)], order[static_cast<std::size_t>(other)]);
    json::Array output;
    for (const Entry& entry : order) {
      output.emplace_back(entry.uid);
    }
    object.set("output", json::Value(std::move(output)));
  });
}

void OutputOrderBox::change(const std::function<void(json::Object&)>& edit) {
  const DevicesFile file(configDirectory(override_));
  if (const std::optional<DevicesFileProblem> trouble = file.update(edit)) {
    emit problemChanged(trouble->sentence);
    return;
  }
  refresh();
}

}  // namespace kestrune::panel
