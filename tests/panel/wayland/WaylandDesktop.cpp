#include "panel/wayland/WaylandDesktop.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

namespace kestrune::panel::test {

namespace {

const QString desktopUser = QStringLiteral("kestrune-desktop");
constexpr int startMs = 10000;
constexpr int outputWidth = 1280;
constexpr int outputHeight = 800;

bool writeFile(const QString& path, const QByteArray& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// The unprivileged user sway runs as, made when missing; as root only.
std::optional<passwd> desktopAccount() {
  if (getuid() != 0) {
    return std::nullopt;
  }
  if (getpwnam(qPrintable(desktopUser)) == nullptr) {
    QProcess add;
    add.start(QStringLiteral("useradd"),
              {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
               QStringLiteral("--home-dir"), QStringLiteral("/nonexistent"),
               QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), desktopUser});
    add.waitForFinished(startMs);
  }
  const passwd* account = getpwnam(qPrintable(desktopUser));
  return account != nullptr ? std::optional<passwd>(*account) : std::nullopt;
}

}  // namespace

WaylandDesktop::WaylandDesktop() {
  for (const char* program : {"sway", "swaymsg", "waybar", "grim", "dbus-daemon"}) {
    if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty()) {
      failure_ = QStringLiteral("%1 is not installed").arg(QLatin1String(program));
      return;
    }
  }
  if (!directory_.isValid()) {
    failure_ = QStringLiteral("no temporary directory");
    return;
  }
  // Reachable by the desktop's user: its configuration is read from here.
  chmod(qPrintable(directory_.path()), 0755);
  uid_ = getuid();
  gid_ = getgid();
  if (const std::optional<passwd> account = desktopAccount()) {
    uid_ = account->pw_uid;
    gid_ = account->pw_gid;
  }
  runtimeDirectory_ = path(QStringLiteral("run"));
  const QString clientRuntime = path(QStringLiteral("client-run"));
  if (!QDir().mkpath(runtimeDirectory_) || !QDir().mkpath(clientRuntime) ||
      chown(qPrintable(runtimeDirectory_), uid_, gid_) != 0 ||
      chmod(qPrintable(runtimeDirectory_), 0700) != 0 ||
      chmod(qPrintable(clientRuntime), 0700) != 0) {
    failure_ = QStringLiteral("no runtime directory for the desktop");
    return;
  }
  clientEnvironment_ = {
      QStringLiteral("XDG_RUNTIME_DIR=") + clientRuntime,
      QStringLiteral("WAYLAND_DISPLAY=") + runtimeDirectory_ + QStringLiteral("/wayland-1"),
      QStringLiteral("XDG_SESSION_TYPE=wayland"), QStringLiteral("XDG_CURRENT_DESKTOP=sway")};
  if (!startBus() || !startSway() || !startKeyboard() || !startBar()) {
    return;
  }
  simSocket_ = path(QStringLiteral("sim.sock"));
  start(QStringLiteral("kestrune-sim"), QStringLiteral(KESTRUNE_SIM_BINARY),
        {QStringLiteral("--socket"), simSocket_}, {});
  if (!QTest::qWaitFor([this] { return QFile::exists(simSocket_); }, startMs)) {
    failure_ = QStringLiteral("kestrune-sim did not start");
  }
}

// The end of a program's log, for a failure's message: the directory
// holding it is gone once the tests end.
QString WaylandDesktop::logTail(const QString& name) const {
  constexpr qsizetype shownLines = 15;
  QFile file(path(name + QStringLiteral(".log")));
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  QStringList lines =
      QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  lines = lines.mid(std::max<qsizetype>(0, lines.size() - shownLines));
  return QStringLiteral("; its log ends:\n") + lines.join(QLatin1Char('\n'));
}

WaylandDesktop::~WaylandDesktop() {
  // The last started goes first: the panel and the bar before sway and the bus.
  for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
    child->process->terminate();
    if (!child->process->waitForFinished(5000)) {
      child->process->kill();
      child->process->waitForFinished(5000);
    }
  }
}

QProcess* WaylandDesktop::start(const QString& name, const QString& program,
                                const QStringList& arguments, const QStringList& environment,
                                bool asDesktopUser) {
  auto process = std::make_unique<QProcess>();
  QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
  for (const QString& entry : environment) {
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    variables.insert(entry.left(equals), entry.mid(equals + 1));
  }
  process->setProcessEnvironment(variables);
  // The keyboard answers on its output.
  if (name != QStringLiteral("keyboard")) {
    process->setStandardOutputFile(path(name + QStringLiteral(".log")));
  }
  process->setStandardErrorFile(path(name + QStringLiteral(".log")));
  if (asDesktopUser && uid_ != getuid()) {
    const uid_t uid = uid_;
    const gid_t gid = gid_;
    process->setChildProcessModifier([uid, gid] {
      // Failing any of these, sway refuses to start as root: reported below.
      if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
        _exit(126);
      }
    });
  }
  process->start(program, arguments);
  if (!process->waitForStarted(startMs)) {
    failure_ = name + QStringLiteral(" did not start");
    return nullptr;
  }
  children_.push_back(Child{name, std::move(process)});
  return children_.back().process.get();
}

bool WaylandDesktop::startBus() {
  const QString address = QStringLiteral("unix:path=") + path(QStringLiteral("bus"));
  start(QStringLiteral("dbus-daemon"), QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--address"),
         address},
        {});
  if (!QTest::qWaitFor([this] { return QFile::exists(path(QStringLiteral("bus"))); }, startMs)) {
    failure_ = QStringLiteral("no session bus");
    return false;
  }
  clientEnvironment_ << QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + address;
  qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
  return true;
}

bool WaylandDesktop::startSway() {
  const QString config = path(QStringLiteral("sway.conf"));
  if (!writeFile(config, QStringLiteral("output HEADLESS-1 resolution %1x%2\n")
                             .arg(outputWidth)
                             .arg(outputHeight)
                             .toUtf8())) {
    failure_ = QStringLiteral("no sway configuration");
    return false;
  }
  start(QStringLiteral("sway"), QStringLiteral("sway"), {QStringLiteral("-c"), config},
        {QStringLiteral("XDG_RUNTIME_DIR=") + runtimeDirectory_,
         QStringLiteral("HOME=") + runtimeDirectory_, QStringLiteral("WLR_BACKENDS=headless"),
         QStringLiteral("WLR_RENDERER=pixman"), QStringLiteral("WLR_LIBINPUT_NO_DEVICES=1"),
         QStringLiteral("WLR_HEADLESS_OUTPUTS=1"), QStringLiteral("WAYLAND_DISPLAY="),
         QStringLiteral("DISPLAY=")},
        true);
  const bool up = QTest::qWaitFor(
      [this] {
        const QStringList sockets =
            QDir(runtimeDirectory_).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        if (!sockets.isEmpty()) {
          swaySocket_ = runtimeDirectory_ + QLatin1Char('/') + sockets.first();
        }
        return !swaySocket_.isEmpty() && sway(QStringLiteral("get_outputs")).has_value();
      },
      startMs);
  if (!up) {
    failure_ = QStringLiteral("sway did not start") + logTail(QStringLiteral("sway"));
    return false;
  }
  clientEnvironment_ << QStringLiteral("SWAYSOCK=") + swaySocket_;
  const QJsonObject output = sway(QStringLiteral("get_outputs"))->array().at(0).toObject();
  const QJsonObject rect = output.value(QStringLiteral("rect")).toObject();
  output_ = QRect(rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
                  rect.value(QStringLiteral("width")).toInt(),
                  rect.value(QStringLiteral("height")).toInt());
  return true;
}

// Kept for the whole session: the seat has a keyboard from the start, as a
// person's desktop does, and its focus is not moved by one coming and going.
bool WaylandDesktop::startKeyboard() {
  keyboard_ = start(
      QStringLiteral("keyboard"), QStringLiteral(KESTRUNE_VIRTUAL_INPUT),
      {QString::number(output_.width()), QString::number(output_.height()), QStringLiteral("-")},
      clientEnvironment_);
  if (keyboard_ == nullptr || !keyboard_->waitForReadyRead(startMs) ||
      keyboard_->readLine().trimmed() != "ready") {
    failure_ = QStringLiteral("no virtual keyboard") + logTail(QStringLiteral("keyboard"));
    return false;
  }
  return true;
}

// waybar at the top, 30 pixels high, with only its status area at the right.
bool WaylandDesktop::startBar() {
  const QString config = path(QStringLiteral("waybar.json"));
  const QString style = path(QStringLiteral("waybar.css"));
  if (!writeFile(config, R"({"layer": "top", "position": "top", "height": 30,
  "modules-left": [], "modules-center": [], "modules-right": ["tray"],
  "tray": {"icon-size": 20, "spacing": 4}})") ||
      !writeFile(style, R"(* { border: none; border-radius: 0; min-height: 0; }
window#waybar { background: #20242b; }
#tray { padding: 0 6px; })")) {
    failure_ = QStringLiteral("no waybar configuration");
    return false;
  }
  start(QStringLiteral("waybar"), QStringLiteral("waybar"),
        {QStringLiteral("-c"), config, QStringLiteral("-s"), style}, clientEnvironment_);
  const bool up = QTest::qWaitFor(
      [this] {
        QByteArray names;
        return run(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("list")},
                   &names) &&
               names.contains("org.kde.StatusNotifierWatcher");
      },
      startMs);
  if (!up) {
    failure_ =
        QStringLiteral("waybar did not start its status area") + logTail(QStringLiteral("waybar"));
  }
  return up;
}

QString WaylandDesktop::startWeston() {
  const QString socket = runtimeDirectory_ + QStringLiteral("/kestrune-weston");
  start(QStringLiteral("weston"), QStringLiteral("weston"),
        {QStringLiteral("--backend=headless-backend.so"),
         QStringLiteral("--socket=kestrune-weston"), QStringLiteral("--width=%1").arg(outputWidth),
         QStringLiteral("--height=%1").arg(outputHeight), QStringLiteral("--idle-time=0")},
        {QStringLiteral("XDG_RUNTIME_DIR=") + runtimeDirectory_,
         QStringLiteral("HOME=") + runtimeDirectory_, QStringLiteral("WAYLAND_DISPLAY="),
         QStringLiteral("DISPLAY=")},
        true);
  return QTest::qWaitFor([&socket] { return QFile::exists(socket); }, startMs) ? socket : QString();
}

QProcess* WaylandDesktop::startPanel(const QStringList& options) {
  return start(QStringLiteral("kestrune-panel"), QStringLiteral(KESTRUNE_PANEL_BINARY),
               QStringList{QStringLiteral("--socket"), simSocket_} + options,
               clientEnvironment_ + QStringList{QStringLiteral("QT_QPA_PLATFORM=wayland")});
}

bool WaylandDesktop::run(const QString& program, const QStringList& arguments, QByteArray* output) {
  QProcess process;
  QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
  for (const QString& entry : clientEnvironment_) {
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    variables.insert(entry.left(equals), entry.mid(equals + 1));
  }
  process.setProcessEnvironment(variables);
  process.start(program, arguments);
  if (!process.waitForFinished(startMs) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    return false;
  }
  if (output != nullptr) {
    *output = process.readAllStandardOutput();
  }
  return true;
}

bool WaylandDesktop::pointer(const QStringList& actions) {
  return run(
      QStringLiteral(KESTRUNE_VIRTUAL_INPUT),
      QStringList{QString::number(output_.width()), QString::number(output_.height())} + actions);
}

bool WaylandDesktop::key(const QString& name) {
  const QByteArray action = QStringLiteral("key:%1\n").arg(name).toUtf8();
  return keyboard_->write(action) == action.size() &&
         (keyboard_->canReadLine() || keyboard_->waitForReadyRead(startMs)) &&
         keyboard_->readLine().trimmed() == "ok";
}

std::optional<QJsonDocument> WaylandDesktop::sway(const QString& type) {
  QByteArray answer;
  if (!run(QStringLiteral("swaymsg"),
           {QStringLiteral("-s"), swaySocket_, QStringLiteral("-r"), QStringLiteral("-t"), type},
           &answer)) {
    return std::nullopt;
  }
  return QJsonDocument::fromJson(answer);
}

QImage WaylandDesktop::screenshot(const QRect& area, const QString& file) {
  QStringList arguments;
  if (area.isValid()) {
    arguments << QStringLiteral("-g")
              << QStringLiteral("%1,%2 %3x%4")
                     .arg(area.x())
                     .arg(area.y())
                     .arg(area.width())
                     .arg(area.height());
  }
  QByteArray png;
  if (!run(QStringLiteral("grim"), arguments << QStringLiteral("-"), &png)) {
    return {};
  }
  QImage image = QImage::fromData(png, "PNG");
  if (!file.isEmpty()) {
    image.save(file);
  }
  return image;
}

}  // namespace kestrune::panel::test
