// The panel against a real kestrune-sim on a private desktop: what it shows
// is what kestrune reads from the simulator, and what it is made to do with
// the keyboard and the mouse is what kestrune then reads back.

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QLabel>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <cmath>
#include <memory>

#include "panel/Desktop.h"
#include "panel/FeedConnection.h"
#include "panel/PanelModel.h"
#include "panel/PanelWindow.h"
#include "panel/RequestClient.h"

namespace kestrune::panel::test {

namespace {

Desktop* desktop = nullptr;

// The panel's own parts, one set per followed socket.
struct Panel {
  explicit Panel(const QString& socket)
      : requests(socket), feed(socket, model), window(model, requests, false) {
    feed.start();
    window.present();
  }
  PanelModel model;
  RequestClient requests;
  FeedConnection feed;
  PanelWindow window;
};

template <class W>
W* named(QWidget& window, const QString& name) {
  for (W* widget : window.findChildren<W*>()) {
    if (widget->accessibleName() == name && widget->isVisibleTo(&window)) {
      return widget;
    }
  }
  return nullptr;
}

CLIStatusInfo simStatus() {
  const std::optional<CLIResponse> reply = kestrune(desktop->simSocket(), {"status"});
  if (!reply || !reply->data) {
    return {};
  }
  const auto* status = std::get_if<CLIResponseData::Status>(&reply->data->value);
  return status ? status->value : CLIStatusInfo{};
}

std::vector<CLIAppInfo> simApps() {
  const std::optional<CLIResponse> reply = kestrune(desktop->simSocket(), {"app", "list"});
  if (!reply || !reply->data) {
    return {};
  }
  const auto* apps = std::get_if<CLIResponseData::Apps>(&reply->data->value);
  return apps ? apps->value : std::vector<CLIAppInfo>{};
}

std::optional<CLIAppInfo> simApp(const std::string& name) {
  for (const CLIAppInfo& app : simApps()) {
    if (app.name == name) {
      return app;
    }
  }
  return std::nullopt;
}

int rounded(double value) {
  return static_cast<int>(std::lround(value));
}

}  // namespace

class PanelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    panel_ = std::make_unique<Panel>(desktop->simSocket());
    QTRY_VERIFY(panel_->model.isConnected());
    QVERIFY(QTest::qWaitForWindowExposed(&panel_->window));
  }

  void cleanupTestCase() { panel_.reset(); }

  void showsTheSimulatorsStateAtStart() {
    QWidget& window = panel_->window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Kestrune"));
    const CLIStatusInfo status = simStatus();
    QVERIFY(status.outputDevice.has_value());
    auto* volume = named<QSlider>(window, "Output volume");
    QVERIFY(volume != nullptr);
    QCOMPARE(volume->value(), rounded(*status.outputDevice->volume));
    auto* output = named<QComboBox>(window, "Output device");
    QVERIFY(output != nullptr);
    QCOMPARE(output->currentText(), QString::fromStdString(status.outputDevice->name));
    auto* input = named<QComboBox>(window, "Input device");
    QVERIFY(input != nullptr);
    QCOMPARE(input->currentText(), QString::fromStdString(status.inputDevice->name));
    QCOMPARE(named<QAbstractButton>(window, "Microphone mute")->isChecked(), status.isMuted);
    QCOMPARE(named<QAbstractButton>(window, "Silent mode")->isChecked(), status.isSilentMode);
    const std::vector<CLIAppInfo> apps = simApps();
    QVERIFY(!apps.empty());
    for (const CLIAppInfo& app : apps) {
      const QString name = QString::fromStdString(app.name);
      // The rows are built from the feed, which may still be arriving.
      QTRY_VERIFY2_WITH_TIMEOUT(named<QSlider>(window, "Volume of " + name) != nullptr,
                                qPrintable(name), 5000);
      auto* slider = named<QSlider>(window, "Volume of " + name);
      QCOMPARE(slider->maximum(), 150);
      QCOMPARE(slider->value(), rounded(app.volume));
      QCOMPARE(named<QAbstractButton>(window, "Mute " + name)->isChecked(), app.isMuted);
      auto* device = named<QComboBox>(window, "Output of " + name);
      QCOMPARE(device->itemText(0), QStringLiteral("Default"));
      if (app.deviceName) {
        QCOMPARE(device->currentText(), QString::fromStdString(*app.deviceName));
      } else {
        QCOMPARE(device->currentIndex(), 0);
      }
      auto* eq = named<QComboBox>(window, "EQ of " + name);
      QCOMPARE(eq->itemText(0), QStringLiteral("Off"));
      QCOMPARE(eq->currentText().toLower(),
               QString::fromStdString(app.eqPreset.value_or("off")).toLower());
    }
    // The simulator plays music: now playing is shown with its title.
    auto* title = named<QLabel>(window, "Title");
    QVERIFY(title != nullptr);
    QVERIFY(!title->text().isEmpty());
  }

  void followsChangesMadeWithTheCommandLine() {
    QWidget& window = panel_->window;
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "33"}));
    QTRY_COMPARE(named<QSlider>(window, "Output volume")->value(), 33);
    QVERIFY(kestrune(desktop->simSocket(), {"app", "volume", "Safari", "120"}));
    QTRY_COMPARE(named<QSlider>(window, "Volume of Safari")->value(), 120);
    const bool silent = named<QAbstractButton>(window, "Silent mode")->isChecked();
    QVERIFY(kestrune(desktop->simSocket(), {"silent-mode", "toggle"}));
    QTRY_COMPARE(named<QAbstractButton>(window, "Silent mode")->isChecked(), !silent);
    QVERIFY(kestrune(desktop->simSocket(), {"device", "set", "HDMI-LivingRoomTV"}));
    QTRY_COMPARE(named<QComboBox>(window, "Output device")->currentText(),
                 QStringLiteral("Living Room TV"));
  }

  void keyboardAndMouseChangeTheApps() {
    QWidget& window = panel_->window;
    auto* slider = named<QSlider>(window, "Volume of Safari");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Home);
    QTRY_COMPARE(rounded(simApp("Safari")->volume), 0);
    QTRY_COMPARE(slider->value(), 0);
    // A quick run of presses: the last value is the one that stays.
    for (int i = 0; i < 25; ++i) {
      QTest::keyClick(slider, Qt::Key_Right);
    }
    QCOMPARE(slider->value(), 25);
    QTRY_COMPARE(rounded(simApp("Safari")->volume), 25);

    // Each next step once the panel shows the outcome of the last, as a
    // person would take it.
    auto* mute = named<QAbstractButton>(window, "Mute Safari");
    QTest::mouseClick(mute, Qt::LeftButton);
    QTRY_VERIFY(simApp("Safari")->isMuted);
    QTRY_VERIFY(mute->isChecked());
    mute->setFocus();
    QTest::keyClick(mute, Qt::Key_Space);
    QTRY_VERIFY(!simApp("Safari")->isMuted);
    QTRY_VERIFY(!mute->isChecked());

    auto* eq = named<QComboBox>(window, "EQ of Safari");
    eq->setFocus();
    QTest::keyClick(eq, Qt::Key_End);
    const QString preset = eq->currentText();
    QTRY_COMPARE(QString::fromStdString(simApp("Safari")->eqPreset.value_or("")).toLower(),
                 preset.toLower());
    QTRY_COMPARE(eq->currentText(), preset);
    QTest::keyClick(eq, Qt::Key_Home);
    QTRY_VERIFY(!simApp("Safari")->eqPreset.has_value());

    auto* device = named<QComboBox>(window, "Output of Safari");
    device->setFocus();
    QTest::keyClick(device, Qt::Key_Down);
    const QString chosen = device->currentText();
    QTRY_COMPARE(QString::fromStdString(simApp("Safari")->deviceName.value_or("")), chosen);
    QTRY_COMPARE(device->currentText(), chosen);
    QTest::keyClick(device, Qt::Key_Home);
    QTRY_VERIFY(!simApp("Safari")->deviceUID.has_value());

    QTest::mouseClick(named<QAbstractButton>(window, "Solo Music"), Qt::LeftButton);
    QTRY_VERIFY(simApp("Safari")->isMuted);
    QVERIFY(!simApp("Music")->isMuted);
  }

  void outputControlsChangeTheSimulator() {
    QWidget& window = panel_->window;
    auto* volume = named<QSlider>(window, "Output volume");
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_End);
    QTRY_COMPARE(rounded(simStatus().outputVolume), 100);
    const bool muted = simStatus().isMuted;
    QTest::mouseClick(named<QAbstractButton>(window, "Microphone mute"), Qt::LeftButton);
    QTRY_COMPARE(simStatus().isMuted, !muted);
    QTRY_COMPARE(named<QAbstractButton>(window, "Microphone mute")->isChecked(), !muted);
    auto* output = named<QComboBox>(window, "Output device");
    output->setFocus();
    QTest::keyClick(output, Qt::Key_Home);
    QTRY_COMPARE(QString::fromStdString(simStatus().outputDevice->name), output->itemText(0));
  }

  void controlsCarryTheirAccessibleNames() {
    QWidget& window = panel_->window;
    QStringList names{"Output volume",  "Mute output",     "Output device", "Microphone mute",
                      "Input device",   "Silent mode",     "Play or pause", "Next track",
                      "Previous track", "Volume of Music", "Mute Music",    "Solo Music",
                      "EQ of Music",    "Output of Music"};
    for (const QString& name : names) {
      QWidget* widget = named<QWidget>(window, name);
      QVERIFY2(widget != nullptr, qPrintable(name));
      QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
      QVERIFY(accessible != nullptr);
      // A menu's accessible name is its current entry on Linux, by Qt's
      // design; its label relation names it there.
      if (qobject_cast<QComboBox*>(widget) == nullptr) {
        QCOMPARE(accessible->text(QAccessible::Name), name);
      }
      QVERIFY2(widget->focusPolicy() & Qt::TabFocus, qPrintable(name));
    }
  }

  void saysWhenTheApplicationIsGoneAndComesBack() {
    const QString socket = desktop->path(QStringLiteral("later.sock"));
    Panel panel(socket);
    QTRY_VERIFY(panel.model.unavailableSentence().contains(QStringLiteral("not running")));
    auto* state = named<QLabel>(panel.window, "Panel state");
    QVERIFY(state != nullptr);
    QVERIFY(named<QSlider>(panel.window, "Output volume") == nullptr);
    QVERIFY(desktop->startSim(socket));
    QTRY_VERIFY_WITH_TIMEOUT(panel.model.isConnected(), 10000);
    QVERIFY(named<QSlider>(panel.window, "Output volume") != nullptr);
    desktop->stopSim(socket);
    QTRY_VERIFY(!panel.model.isConnected());
    QVERIFY(named<QLabel>(panel.window, "Panel state")->text().contains("not running"));
  }

  // The installed program on the private session bus: the first holds the
  // panel's name and toggles its window, a second start hands over and exits.
  // A click on the tray icon of an open panel may take the focus before the
  // click is told: the panel closes on the focus loss, and the toggle that
  // follows at once leaves it closed; a later one opens it.
  void aToggleRightAfterAFocusLossLeavesThePanelClosed() {
    PanelModel model;
    RequestClient requests(desktop->simSocket());
    PanelWindow window(model, requests, true);
    window.present();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget other;
    other.setWindowTitle(QStringLiteral("Elsewhere"));
    other.show();
    other.activateWindow();
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(window.toggle(), false);
    QVERIFY(!window.isVisible());
    QCOMPARE(window.toggle(), true);
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }

  void oneRunningPanelPerSession() {
    QProcess first;
    first.start(QStringLiteral(KESTRUNE_PANEL_BINARY),
                {QStringLiteral("--socket"), desktop->simSocket()});
    QVERIFY(first.waitForStarted());
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    QTRY_VERIFY(bus->isServiceRegistered(QStringLiteral("org.kestrune.Panel")).value());
    QDBusInterface panel(QStringLiteral("org.kestrune.Panel"),
                         QStringLiteral("/org/kestrune/Panel"),
                         QStringLiteral("org.kestrune.Panel"));
    QDBusReply<QString> closed = panel.call(QStringLiteral("Toggle"));
    QCOMPARE(closed.value(), QStringLiteral("closed"));
    QDBusReply<QString> opened = panel.call(QStringLiteral("Toggle"));
    QCOMPARE(opened.value(), QStringLiteral("opened"));

    QProcess second;
    second.start(QStringLiteral(KESTRUNE_PANEL_BINARY),
                 {QStringLiteral("--socket"), desktop->simSocket()});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    // Shown by the second start: toggling now closes it.
    QDBusReply<QString> again = panel.call(QStringLiteral("Toggle"));
    QCOMPARE(again.value(), QStringLiteral("closed"));
    first.terminate();
    QVERIFY(first.waitForFinished(5000));
  }

 private:
  std::unique_ptr<Panel> panel_;
};

}  // namespace kestrune::panel::test

int main(int argc, char** argv) {
  return kestrune::panel::test::runOnDesktop<kestrune::panel::test::PanelTest>(
      argc, argv, "the panel", kestrune::panel::test::desktop);
}

#include "PanelTests.moc"
