#pragma once
// Names from the sound server, players and Bluetooth devices are anyone's
// to choose: before they are shown, controls that would reorder the text
// around them (bidirectional overrides and isolates) or break it (line and
// other control characters) are shown as visible marks, and each name is
// isolated from the words around it.

#include <QFontMetrics>
#include <QString>
#include <string>

namespace kestrune::panel {

// The name with every control character shown as a visible mark: "⟨U+202E⟩"
// for bidirectional controls, the control pictures (U+2400...) for C0.
QString visibleName(const QString& name);
QString visibleName(const std::string& name);
// The same, between FIRST STRONG ISOLATE and POP DIRECTIONAL ISOLATE, for
// a name inside a sentence: its direction cannot spill over the sentence.
QString isolatedName(const std::string& name);
// visibleName(), elided in the middle to fit `width` pixels.
QString elidedName(const std::string& name, const QFontMetrics& metrics, int width);

}  // namespace kestrune::panel
