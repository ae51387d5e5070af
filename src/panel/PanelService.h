#pragma once
// The panel's name on the session bus: one panel per session. kestruned's
// `panel toggle` calls Toggle; a second kestrune-panel calls Show and exits.

#include <QObject>
#include <QString>

namespace kestrune::panel {

class PanelWindow;

inline constexpr const char* panelServiceName = "org.kestrune.Panel";
inline constexpr const char* panelObjectPath = "/org/kestrune/Panel";

class PanelService : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kestrune.Panel")

 public:
  explicit PanelService(PanelWindow& window, QObject* parent = nullptr);

  // Takes the name; false when another panel holds it (or there is no bus).
  bool claim();
  // Asks the panel holding the name to show itself.
  static bool showRunningPanel();

 public slots:
  Q_SCRIPTABLE QString Toggle();
  Q_SCRIPTABLE void Show();

 private:
  PanelWindow& window_;
};

}  // namespace kestrune::panel
