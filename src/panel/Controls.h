#pragma once
// Small pieces the panel's views share: setting a control from the feed
// without it sending anything back, and menus of devices.

#include <QAbstractButton>
#include <QComboBox>
#include <QSlider>
#include <QString>
#include <QToolButton>
#include <string>
#include <vector>

#include "protocol/CLIResponse.h"

namespace kestrune::panel {

// A slider the user is holding or pointing at keeps its place.
void setSliderQuietly(QSlider* slider, int value);
void setCheckedQuietly(QAbstractButton* button, bool checked);
QToolButton* toolButton(const QString& iconName, const QString& text, const QString& accessible,
                        QWidget* parent);
// A toggle that says what it is: its text while off, `onText` while on.
void showToggle(QToolButton* button, bool on, const QString& offText, const QString& onText);
// A menu that keeps its width whatever its entries' names.
void boundWidth(QComboBox* combo, int chars);
// Fills a device menu when its entries differ (an open menu is left alone)
// and chooses `current`; the first entry is "Default" when `withDefault`.
void fillDevices(QComboBox* combo, const std::vector<CLIDeviceInfo>& devices, bool outputs,
                 bool withDefault, const QString& current);
int rounded(double value);
QString percentText(int percent);

}  // namespace kestrune::panel
