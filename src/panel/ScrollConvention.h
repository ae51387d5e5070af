#pragma once
// Which way a status area's Scroll(delta) goes, and how many volume steps it
// is. Hosts disagree: Qt hosts (KDE Plasma, LXQt) pass the wheel's angle,
// positive up and 120 per notch, with touchpads sending less; GTK and
// Clutter hosts (waybar, GNOME Shell's AppIndicator extension) pass GDK's
// direction, negative up, one call of 1 or 2 per notch. The host is known by
// its process name; an unknown one by the form of its deltas.

#include <QString>
#include <map>
#include <set>

namespace kestrune::panel {

enum class ScrollHost { qt, gtk, unknown };

// The convention of a host by its process name (/proc/PID/comm).
ScrollHost scrollHostNamed(const QString& processName);

// The process name of a process, or empty when it is gone or unreadable.
QString processName(qint64 pid);

class ScrollReader {
 public:
  // Up lowers the volume and down raises it, for those who want it so.
  void setInverted(bool inverted) { inverted_ = inverted; }

  // The volume steps (positive: louder) one Scroll from `caller` (a bus
  // name, or any key of one source of wheel events) brings. Angles below a
  // notch are kept per caller until they make one.
  int steps(const QString& caller, ScrollHost host, int delta);

 private:
  int angleSteps(const QString& caller, int delta);

  bool inverted_ = false;
  std::map<QString, int> remainders_;
  // Unknown callers that have sent a whole notch of angle once.
  std::set<QString> angleCallers_;
};

// Angle units per notch, as Qt hosts send them.
inline constexpr int scrollUnitsPerStep = 120;
// The most steps one call brings, whatever its size.
inline constexpr int maxScrollSteps = 5;

}  // namespace kestrune::panel
