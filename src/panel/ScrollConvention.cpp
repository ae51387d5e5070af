#include "panel/ScrollConvention.h"

#include <QFile>
#include <algorithm>
#include <cstdlib>

namespace kestrune::panel {

namespace {

// An unknown host whose delta is this large sends angles: GDK's hosts send
// a few units per notch.
constexpr int angleFormAtLeast = scrollUnitsPerStep / 2;

int gdkSteps(int delta) {
  // GDK hosts round a notch to 1 or 2 and send small touchpad movements as
  // ±1: one call is one step.
  if (delta == 0) {
    return 0;
  }
  return delta < 0 ? 1 : -1;
}

}  // namespace

ScrollHost scrollHostNamed(const QString& processName) {
  static const QStringList qtHosts{QStringLiteral("plasmashell"), QStringLiteral("lxqt-panel")};
  static const QStringList gtkHosts{QStringLiteral("waybar"), QStringLiteral("gnome-shell"),
                                    QStringLiteral("xfce4-panel")};
  if (qtHosts.contains(processName)) {
    return ScrollHost::qt;
  }
  return gtkHosts.contains(processName) ? ScrollHost::gtk : ScrollHost::unknown;
}

QString processName(qint64 pid) {
  if (pid <= 0) {
    return {};
  }
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!comm.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QString::fromUtf8(comm.readAll()).trimmed();
}

int ScrollReader::steps(const QString& caller, ScrollHost host, int delta) {
  if (host == ScrollHost::unknown) {
    if (std::abs(delta) >= angleFormAtLeast) {
      angleCallers_.insert(caller);
    }
    host = angleCallers_.count(caller) != 0 ? ScrollHost::qt : ScrollHost::gtk;
  }
  const int steps = host == ScrollHost::qt ? angleSteps(caller, delta) : gdkSteps(delta);
  return inverted_ ? -steps : steps;
}

int ScrollReader::angleSteps(const QString& caller, int delta) {
  int& remainder = remainders_[caller];
  // A turn the other way starts afresh rather than paying back the rest.
  if ((remainder > 0 && delta < 0) || (remainder < 0 && delta > 0)) {
    remainder = 0;
  }
  remainder += delta;
  const int steps = remainder / scrollUnitsPerStep;
  remainder -= steps * scrollUnitsPerStep;
  return std::clamp(steps, -maxScrollSteps, maxScrollSteps);
}

}  // namespace kestrune::panel
