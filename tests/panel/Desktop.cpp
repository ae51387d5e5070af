#include "panel/Desktop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <chrono>

#include "json/Errors.h"
#include "protocol/Coding.h"

namespace kestrune::panel::test {

namespace {

using namespace std::chrono_literals;

template <class Condition>
bool waitFor(Condition condition) {
  const QDeadlineTimer deadline(10s);
  while (!deadline.hasExpired()) {
    if (condition()) {
      return true;
    }
    QThread::msleep(20);
  }
  return condition();
}

bool answers(const QString& socket) {
  QLocalSocket probe;
  probe.connectToServer(socket);
  return probe.waitForConnected(200);
}

// The window manager announces itself on the root window.
bool windowManagerRuns() {
  QProcess xprop;
  xprop.start(QStringLiteral("xprop"),
              {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
  return xprop.waitForFinished(2000) &&
         xprop.readAllStandardOutput().contains(QByteArrayLiteral("window id"));
}

}  // namespace

Desktop::Desktop() {
  if (!directory_.isValid()) {
    failure_ = QStringLiteral("no temporary directory");
    return;
  }
  if (!startDisplay() || !startBus()) {
    return;
  }
  simSocket_ = path(QStringLiteral("sim.sock"));
  if (!startSim(simSocket_)) {
    failure_ = QStringLiteral("kestrune-sim did not start");
  }
}

Desktop::~Desktop() {
  // The last started first: the simulator and the window manager before the display.
  for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
    child->process->terminate();
    if (!child->process->waitForFinished(5000)) {
      child->process->kill();
      child->process->waitForFinished(5000);
    }
  }
}

QProcess* Desktop::start(const QString& name, const QString& program,
                         const QStringList& arguments) {
  auto process = std::make_unique<QProcess>();
  process->setProgram(program);
  process->setArguments(arguments);
  process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process->start();
  if (!process->waitForStarted(5000)) {
    failure_ = name + QStringLiteral(" did not start");
    return nullptr;
  }
  children_.push_back(Child{name, std::move(process)});
  return children_.back().process.get();
}

bool Desktop::startDisplay() {
  const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
  if (xvfb.isEmpty()) {
    failure_ = QStringLiteral("Xvfb is not installed");
    return false;
  }
  // Xvfb picks a free display itself and names it on standard output, so
  // two desktops starting at once never share one.
  QProcess* server =
      start(QStringLiteral("Xvfb"), xvfb,
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
             QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
             QStringLiteral("tcp")});
  if (server == nullptr) {
    return false;
  }
  if (!waitFor([&] { return server->canReadLine() || server->waitForReadyRead(100); })) {
    failure_ = QStringLiteral("Xvfb did not open its display");
    return false;
  }
  const QString name = QStringLiteral(":") + QString::fromUtf8(server->readLine().trimmed());
  qputenv("DISPLAY", name.toUtf8());
  qputenv("QT_QPA_PLATFORM", "xcb");
  const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
  if (!openbox.isEmpty() && start(QStringLiteral("openbox"), openbox, {}) != nullptr) {
    // Windows mapped while the manager starts up may never be exposed.
    waitFor(windowManagerRuns);
  }
  return true;
}

bool Desktop::startBus() {
  QProcess* bus = start(QStringLiteral("dbus-daemon"), QStringLiteral("dbus-daemon"),
                        {QStringLiteral("--session"), QStringLiteral("--nofork"),
                         QStringLiteral("--print-address=1")});
  if (bus == nullptr) {
    return false;
  }
  if (!waitFor([&] { return bus->waitForReadyRead(100) || bus->canReadLine(); })) {
    failure_ = QStringLiteral("the session bus gave no address");
    return false;
  }
  const QByteArray address = bus->readLine().trimmed();
  qputenv("DBUS_SESSION_BUS_ADDRESS", address);
  return !address.isEmpty();
}

bool Desktop::startSim(const QString& socket) {
  if (start(QStringLiteral("kestrune-sim ") + socket, QStringLiteral(KESTRUNE_SIM_BINARY),
            {QStringLiteral("--socket"), socket}) == nullptr) {
    return false;
  }
  return waitFor([&] { return answers(socket); });
}

void Desktop::stopSim(const QString& socket) {
  for (auto child = children_.begin(); child != children_.end(); ++child) {
    if (child->name == QStringLiteral("kestrune-sim ") + socket) {
      child->process->terminate();
      child->process->waitForFinished(5000);
      children_.erase(child);
      return;
    }
  }
}

std::optional<CLIResponse> kestrune(const QString& socket, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start(
      QStringLiteral(KESTRUNE_BINARY),
      arguments + QStringList{QStringLiteral("--socket"), socket, QStringLiteral("--json")});
  if (!process.waitForFinished(10000) || process.exitCode() != 0) {
    return std::nullopt;
  }
  try {
    return decodeCLIResponse(process.readAllStandardOutput().toStdString());
  } catch (const json::DecodingError&) {
    return std::nullopt;
  }
}

}  // namespace kestrune::panel::test
