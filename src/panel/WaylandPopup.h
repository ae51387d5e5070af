#pragma once
// The panel as a popup on Wayland, where a client neither places its windows
// nor says they are popups of a tray icon. Each showing is shaped so that
// tiling compositors float it: its minimum and maximum sizes are equal
// until the compositor has mapped it (sway and Hyprland float such a
// window; the constraint is then lifted so the panel may grow and shrink).
// Where the compositor takes commands over its own socket (sway), the
// window then goes, without a border, to the corner of the output's free
// area on the bar's side. Elsewhere (GNOME, weston, KDE) the compositor
// places the floating window itself. Nothing happens under X11.

#include <QByteArray>
#include <QJsonDocument>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <optional>

class QWidget;

namespace kestrune::panel {

// Where a popup of `size` goes in the free area `area` of an output whose
// whole rectangle is `output`: at the right-hand corner on the side of the
// bar (the edge where the free area stops short of the output), `margin`
// pixels off. Hosts on Wayland give Activate's point within the icon, so
// the side of the icon is not known: status areas sit at the right.
QPoint popupCorner(const QRect& output, const QRect& area, const QSize& size, int margin);

// One request over sway's socket (i3's IPC: "i3-ipc", length, type,
// payload); its reply, or nothing when the socket does not answer.
std::optional<QJsonDocument> swayRequest(const QString& socketPath, quint32 type,
                                         const QByteArray& payload);

class WaylandPopup : public QObject {
  Q_OBJECT

 public:
  // Follows `window` from now on, on Wayland only.
  explicit WaylandPopup(QWidget& window);

  static bool onWayland();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void floatWhenShown();
  void placeOnceMapped();
  bool placeWithSway();
  void release();

  QWidget& window_;
  QString swaySocket_;
  QSize minimum_;
  QSize maximum_;
  bool constrained_ = false;
  QTimer retry_;
  int attempts_ = 0;
};

}  // namespace kestrune::panel
