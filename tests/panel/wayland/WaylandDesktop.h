#pragma once
// A private Wayland desktop, headless: a session bus, kestrune-sim, sway
// (as an unprivileged user of its own, since sway refuses root), waybar as
// its bar and status area, and a mouse and a keyboard (virtual ones) to use
// it with.
// Everything it starts it stops again, by process.

#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

namespace kestrune::panel::test {

class WaylandDesktop {
 public:
  WaylandDesktop();
  ~WaylandDesktop();
  WaylandDesktop(const WaylandDesktop&) = delete;
  WaylandDesktop& operator=(const WaylandDesktop&) = delete;

  // Why the desktop could not be set up; empty when it is.
  const QString& failure() const { return failure_; }
  QString path(const QString& name) const { return directory_.filePath(name); }
  // The last lines of the log of the program started under `name`.
  QString logTail(const QString& name) const;
  const QString& simSocket() const { return simSocket_; }
  // The output's rectangle.
  QRect output() const { return output_; }

  // weston (headless, its desktop shell) beside sway, as the same user;
  // the path of its socket, empty when it did not start.
  QString startWeston();

  // kestrune-panel on this desktop, natively on Wayland.
  QProcess* startPanel(const QStringList& options = {});
  // The environment of a client of this desktop.
  const QStringList& clientEnvironment() const { return clientEnvironment_; }

  // The mouse: "move:X,Y", "click:left|middle|right", "wheel:N" (negative up).
  bool pointer(const QStringList& actions);
  // The keyboard, there all along as a person's is: "escape", pressed and
  // released.
  bool key(const QString& name);
  // `swaymsg -t TYPE`'s answer.
  std::optional<QJsonDocument> sway(const QString& type);
  // A picture of the whole output (grim), or of `area`; saved as `file` too
  // when one is named.
  QImage screenshot(const QRect& area = {}, const QString& file = {});

 private:
  struct Child {
    QString name;
    std::unique_ptr<QProcess> process;
  };
  QProcess* start(const QString& name, const QString& program, const QStringList& arguments,
                  const QStringList& environment, bool asDesktopUser = false);
  bool startBus();
  bool startSway();
  bool startKeyboard();
  bool startBar();
  bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr);

  QTemporaryDir directory_;
  std::vector<Child> children_;
  QString simSocket_;
  QString runtimeDirectory_;
  QString swaySocket_;
  QProcess* keyboard_ = nullptr;
  QStringList clientEnvironment_;
  QRect output_;
  QString failure_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

}  // namespace kestrune::panel::test
