#include "panel/Controls.h"

#include <QAbstractItemView>
#include <QHash>
#include <QIcon>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

#include "panel/DisplayText.h"

namespace kestrune::panel {

int rounded(double value) {
  return static_cast<int>(std::lround(value));
}

QString percentText(int percent) {
  return QStringLiteral("%1%").arg(percent);
}

void setSliderQuietly(QSlider* slider, int value) {
  if (slider->isSliderDown() || slider->underMouse() || slider->value() == value) {
    return;
  }
  const QSignalBlocker blocker(slider);
  slider->setValue(value);
}

void setCheckedQuietly(QAbstractButton* button, bool checked) {
  if (button->isChecked() == checked) {
    return;
  }
  const QSignalBlocker blocker(button);
  button->setChecked(checked);
}

namespace {

// Looked up in the theme once per name: every app row asks for the same few.
QIcon themeIcon(const QString& name) {
  static QHash<QString, QIcon> icons;
  const auto found = icons.constFind(name);
  if (found != icons.constEnd()) {
    return *found;
  }
  return *icons.insert(name, QIcon::fromTheme(name));
}

}  // namespace

QToolButton* toolButton(const QString& iconName, const QString& text, const QString& accessible,
                        QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(themeIcon(iconName));
  button->setText(text);
  button->setToolTip(accessible);
  button->setAccessibleName(accessible);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  return button;
}

void showToggle(QToolButton* button, bool on, const QString& offText, const QString& onText) {
  setCheckedQuietly(button, on);
  const QString& text = on ? onText : offText;
  if (button->text() != text) {
    button->setText(text);
  }
  // Bold while on: "on" is told by the words and the weight, not by a shade.
  if (button->font().bold() != on) {
    QFont font = button->font();
    font.setBold(on);
    button->setFont(font);
  }
}

void boundWidth(QComboBox* combo, int chars) {
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(chars);
}

void fillDevices(QComboBox* combo, const std::vector<CLIDeviceInfo>& devices, bool outputs,
                 bool withDefault, const QString& current) {
  if (combo->view()->isVisible()) {
    return;
  }
  QStringList uids;
  QStringList names;
  if (withDefault) {
    uids << QString();
    names << QStringLiteral("Default");
  }
  for (const CLIDeviceInfo& device : devices) {
    if (outputs ? device.isOutput : device.isInput) {
      uids << QString::fromStdString(device.uid);
      names << visibleName(device.name);
    }
  }
  const QSignalBlocker blocker(combo);
  bool same = combo->count() == uids.size();
  for (int i = 0; same && i < combo->count(); ++i) {
    same = combo->itemData(i).toString() == uids[i] && combo->itemText(i) == names[i];
  }
  if (!same) {
    combo->clear();
    for (qsizetype i = 0; i < uids.size(); ++i) {
      combo->addItem(names[i], uids[i]);
      combo->setItemData(static_cast<int>(i), names[i], Qt::ToolTipRole);
    }
  }
  const int index = combo->findData(current);
  const int wanted = std::max(index, 0);
  if (combo->currentIndex() != wanted) {
    combo->setCurrentIndex(wanted);
  }
}

}  // namespace kestrune::panel
