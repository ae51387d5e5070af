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
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <memory>

#include <QScreen>
#include <QScrollArea>

#include "client/CLIClient.h"
#include "json/Value.h"
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

// Feed frames made here, for states the simulator does not hold: many apps,
// long and hostile names. Written with ' for ", which none of them holds.
std::string quoted(std::string text) {
  std::replace(text.begin(), text.end(), '\'', '"');
  return text;
}

std::string appJSON(int number, const QString& name) {
  return quoted("{'id':'app" + std::to_string(number) + "','name':'") + name.toStdString() +
         quoted("','volume':100,'isMuted':false}");
}

json::Value snapshotWithApps(const std::vector<std::string>& apps) {
  std::string list;
  for (const std::string& app : apps) {
    list += (list.empty() ? "" : ",") + app;
  }
  const std::string device =
      "{'uid':'spk','name':'Speakers','isInput':false,'isOutput':true,'isDefault':true,"
      "'volume':40,'isMuted':false}";
  return json::parse(quoted("{'event':'snapshot','status':{'version':'1','isRunning':true,"
                            "'outputVolume':40,'isMuted':false,'isSilentMode':false,"
                            "'activeAppCount':0,'cliInstalled':true,'outputDevice':" +
                            device + "},'devices':[" + device + "],'apps':[") +
                     list + quoted("],'media':null,'bluetooth':[]}"));
}

json::Value appFrame(const std::string& app) {
  return json::parse(quoted("{'event':'app','app':") + app + "}");
}

json::Value appRemovedFrame(int number) {
  return json::parse(quoted("{'event':'app-removed','id':'app" + std::to_string(number) + "'}"));
}

// devices.json as an independent reader sees it; null when it does not parse.
QJsonObject devicesFile(const QString& directory) {
  QFile file(directory + QStringLiteral("/kestrune/devices.json"));
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QJsonDocument::fromJson(file.readAll()).object();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The whole window lies within the screen's available area.
bool withinScreen(const QWidget& window) {
  const QScreen* screen = window.screen();
  return screen != nullptr && screen->availableGeometry().contains(window.frameGeometry());
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

  // devices.json is found where the daemon looks ($XDG_CONFIG_HOME here,
  // made when missing) and only the panel's members change.
  void outputOrderAndSettingsWriteDevicesFile() {
    const QString config = desktop->path(QStringLiteral("xdg-config"));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    QWidget& window = panel_->window;
    std::vector<CLIDeviceInfo> outputs;
    for (const CLIDeviceInfo& device : panel_->model.state().devices) {
      if (device.isOutput) {
        outputs.push_back(device);
      }
    }
    QVERIFY(outputs.size() >= 2);
    const QString first = QString::fromStdString(outputs[0].uid);
    const QString second = QString::fromStdString(outputs[1].uid);
    // A listed device that is absent keeps its place ahead of the rest.
    QTest::mouseClick(named<QAbstractButton>(window, "Output order"), Qt::LeftButton);
    QTest::mouseClick(
        named<QAbstractButton>(window, "Move " + QString::fromStdString(outputs[1].name) + " up"),
        Qt::LeftButton);
    QJsonObject written = devicesFile(config);
    QCOMPARE(written.value("output").toArray().size(), static_cast<qsizetype>(outputs.size()));
    QCOMPARE(written.value("output").toArray().at(0).toString(), second);
    QCOMPARE(written.value("output").toArray().at(1).toString(), first);

    const QString path = config + QStringLiteral("/kestrune/devices.json");
    QVERIFY(writeFile(path, QJsonDocument(QJsonObject{{"output", QJsonArray{"gone", first}},
                                                      {"input", QJsonArray{"mic"}},
                                                      {"correction", QJsonObject{{"a", 1}}},
                                                      {"futureKey", "kept"}})
                                .toJson()));
    QTest::mouseClick(
        named<QAbstractButton>(window, "Move " + QString::fromStdString(outputs[0].name) + " up"),
        Qt::LeftButton);
    written = devicesFile(config);
    QCOMPARE(written.value("output").toArray().first().toString(), first);
    QCOMPARE(written.value("output").toArray().at(1).toString(), QStringLiteral("gone"));
    QCOMPARE(written.value("input").toArray(), QJsonArray{"mic"});
    QCOMPARE(written.value("correction").toObject(), (QJsonObject{{"a", 1}}));
    QCOMPARE(written.value("futureKey").toString(), QStringLiteral("kept"));

    auto* maxVolume = named<QSpinBox>(window, "Maximum volume");
    QCOMPARE(maxVolume->text(), QStringLiteral("Off"));
    maxVolume->setValue(80);
    QCOMPARE(devicesFile(config).value("maxVolume").toInt(), 80);
    maxVolume->setValue(maxVolume->minimum());
    QVERIFY(!devicesFile(config).contains("maxVolume"));
    named<QSpinBox>(window, "New device volume")->setValue(30);
    QCOMPARE(devicesFile(config).value("newDeviceVolume").toInt(), 30);
    named<QAbstractButton>(window, "Switch on connect")->click();
    QCOMPARE(devicesFile(config).value("switchOnConnect").toBool(), true);
    QCOMPARE(devicesFile(config).value("futureKey").toString(), QStringLiteral("kept"));

    // A file that does not parse is left as it is, and the status line says so.
    const QByteArray broken = "{ \"output\": [\"gone\",\n";
    QVERIFY(writeFile(path, broken));
    named<QAbstractButton>(window, "Switch on connect")->click();
    named<QSpinBox>(window, "Maximum volume")->setValue(50);
    QCOMPARE(fileBytes(path), broken);
    auto* status = named<QLabel>(window, "Status");
    QVERIFY2(status->toolTip().contains("devices.json"), qPrintable(status->toolTip()));
    QVERIFY(QFile::remove(path));
    // Read again when shown: the complaint goes with the file.
    QTest::mouseClick(named<QAbstractButton>(window, "Output order"), Qt::LeftButton);
    QTest::mouseClick(named<QAbstractButton>(window, "Output order"), Qt::LeftButton);
    QVERIFY2(!status->toolTip().contains("devices.json"), qPrintable(status->toolTip()));
    QTest::mouseClick(named<QAbstractButton>(window, "Output order"), Qt::LeftButton);
  }

  // Every app's EQ menu offers what the application lists, and each output's
  // "Correction" menu writes that output's preset into devices.json, keeping
  // what else the file holds.
  void presetMenusOfferTheApplicationsPresets() {
    const CLIResponse listed =
        CLIClient(desktop->simSocket().toStdString()).send({CLICommand::ListEQPresets{}});
    QVERIFY(listed.data.has_value());
    const auto& presets = std::get<CLIResponseData::EqPresets>(listed.data->value).value;
    QWidget& window = panel_->window;
    auto* eq = named<QComboBox>(window, "EQ of Safari");
    QTRY_COMPARE(eq->count(), static_cast<int>(presets.size()) + 1);
    QCOMPARE(eq->itemText(0), QStringLiteral("Off"));
    for (std::size_t i = 0; i < presets.size(); ++i) {
      QCOMPARE(eq->itemText(static_cast<int>(i) + 1), QString::fromStdString(presets[i].name));
    }

    const QString config = desktop->path(QStringLiteral("xdg-config"));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    const QString path = config + QStringLiteral("/kestrune/devices.json");
    QVERIFY(QDir().mkpath(config + QStringLiteral("/kestrune")));
    QVERIFY(
        writeFile(path, QJsonDocument(QJsonObject{{"correction", QJsonObject{{"elsewhere", "pop"}}},
                                                  {"futureKey", "kept"}})
                            .toJson()));
    const CLIDeviceInfo* output = panel_->model.defaultOutput();
    QVERIFY(output != nullptr);
    const QString name = QString::fromStdString(output->name);
    const auto choose = [&](const QString& entry) {
      auto* button = named<QToolButton>(window, "Correction of " + name);
      QVERIFY(button != nullptr && button->menu() != nullptr);
      QMenu* menu = button->menu();
      menu->popup(button->mapToGlobal(QPoint(0, button->height())));
      QAction* chosen = nullptr;
      for (QAction* action : menu->actions()) {
        chosen = action->text() == entry ? action : chosen;
      }
      QVERIFY2(chosen != nullptr, qPrintable(entry));
      chosen->trigger();
      menu->hide();
    };
    QTest::mouseClick(named<QAbstractButton>(window, "Output order"), Qt::LeftButton);
    choose(QString::fromStdString(presets.back().name));
    const QJsonObject corrected = devicesFile(config).value("correction").toObject();
    QCOMPARE(corrected.value(QString::fromStdString(output->uid)).toString(),
             QString::fromStdString(presets.back().name));
    QCOMPARE(corrected.value("elsewhere").toString(), QStringLiteral("pop"));
    QCOMPARE(devicesFile(config).value("futureKey").toString(), QStringLiteral("kept"));
    QCOMPARE(named<QToolButton>(window, "Correction of " + name)->accessibleDescription(),
             QString::fromStdString(presets.back().name));
    choose(QStringLiteral("None"));
    QCOMPARE(devicesFile(config).value("correction").toObject(),
             (QJsonObject{{"elsewhere", "pop"}}));
    QVERIFY(QFile::remove(path));
    QTest::mouseClick(named<QAbstractButton>(window, "Output order"), Qt::LeftButton);
  }

  // A new list of presets changes the menus in place: rows keep their
  // widgets and their choice, and a preset no longer offered is still named.
  void presetsOnOfferChangeInPlace() {
    PanelModel model;
    RequestClient requests(desktop->path(QStringLiteral("nobody.sock")));
    PanelWindow window(model, requests, false);
    const auto withPreset = [](const std::string& preset) {
      return quoted("{'id':'app1','name':'Cans','volume':100,'isMuted':false,'eqPreset':'") +
             preset + quoted("'}");
    };
    model.applyFrame(snapshotWithApps({withPreset("rock")}));
    window.present();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* eq = named<QComboBox>(window, "EQ of Cans");
    QCOMPARE(eq->currentText(), QStringLiteral("rock"));
    std::vector<EQPresetInfo> presets = model.presets().presets();
    presets.push_back({"studio cans", true});
    model.presets().setPresets(presets);
    QCOMPARE(named<QComboBox>(window, "EQ of Cans"), eq);
    QCOMPARE(eq->count(), static_cast<int>(presets.size()) + 1);
    QCOMPARE(eq->currentText(), QStringLiteral("rock"));
    QVERIFY(eq->itemData(eq->count() - 1, Qt::ToolTipRole).toString().contains("filters"));

    model.applyFrame(appFrame(withPreset("Studio Cans")));
    QCOMPARE(eq->currentText(), QStringLiteral("studio cans"));
    presets.pop_back();  // its file went
    model.presets().setPresets(presets);
    QCOMPARE(eq->currentIndex(), -1);
    QCOMPARE(eq->placeholderText(), QStringLiteral("Studio Cans"));
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

  // Rows are kept by app id: a change touches its own row only, an app that
  // leaves takes its row, and the window stays on the screen, its apps
  // scrolling inside it, whatever their number.
  void manyAppsScrollInsideAWindowOnTheScreen() {
    PanelModel model;
    RequestClient requests(desktop->path(QStringLiteral("nobody.sock")));
    PanelWindow window(model, requests, false);
    std::vector<std::string> apps;
    for (int i = 0; i < 100; ++i) {
      apps.push_back(appJSON(i, QStringLiteral("Player %1").arg(i)));
    }
    model.applyFrame(snapshotWithApps({}));
    window.toggleBeside(QPoint(1270, 790));
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int width = window.width();
    const int empty = window.height();
    for (const std::string& app : apps) {
      model.applyFrame(appFrame(app));
    }
    QTRY_VERIFY(window.height() > 300);
    QTRY_VERIFY(withinScreen(window));
    QCOMPARE(window.width(), width);
    QCOMPARE(model.apps().rowCount(), 100);
    auto* first = named<QSlider>(window, "Volume of Player 0");
    auto* last = named<QSlider>(window, "Volume of Player 99");
    QVERIFY(first != nullptr && last != nullptr);
    // The last row is reached by scrolling, not off the window's edge.
    auto* scroll = window.findChild<QScrollArea*>();
    QVERIFY(scroll != nullptr);
    scroll->ensureWidgetVisible(last);
    QTRY_VERIFY(!last->visibleRegion().isEmpty());
    // One app's change: the same row, changed in place.
    model.applyFrame(
        appFrame(quoted("{'id':'app7','name':'Player 7','volume':35,'isMuted':true}")));
    auto* seventh = named<QSlider>(window, "Volume of Player 7");
    QCOMPARE(seventh->value(), 35);
    QCOMPARE(named<QAbstractButton>(window, "Mute Player 7")->isChecked(), true);
    QCOMPARE(named<QSlider>(window, "Volume of Player 0"), first);
    // They leave: the window shrinks again, still on the screen.
    for (int i = 0; i < 100; ++i) {
      model.applyFrame(appRemovedFrame(i));
    }
    QCOMPARE(model.apps().rowCount(), 0);
    QTRY_COMPARE(window.height(), empty);
    QTRY_VERIFY(withinScreen(window));
    QCOMPARE(window.width(), width);
  }

  // A 10 KB name is elided to the row's width and whole in its tooltip and
  // accessible name; controls that would reorder text are shown, not obeyed.
  void longAndHostileNamesNeitherWidenNorDeceive() {
    PanelModel model;
    RequestClient requests(desktop->path(QStringLiteral("nobody.sock")));
    PanelWindow window(model, requests, false);
    model.applyFrame(snapshotWithApps({appJSON(1, QStringLiteral("short"))}));
    window.present();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int width = window.width();
    const QString huge(10240, QLatin1Char('x'));
    model.applyFrame(appFrame(appJSON(2, huge)));
    model.applyFrame(appFrame(appJSON(3, QStringLiteral("RTL \u202Eexe.live"))));
    QCOMPARE(model.apps().rowCount(), 3);
    // Rows are shown once the event loop has run.
    QTRY_VERIFY(named<QSlider>(window, "Volume of " + huge) != nullptr);
    QCOMPARE(window.width(), width);
    QVERIFY(withinScreen(window));
    QLabel* hugeName = nullptr;
    QLabel* hostileName = nullptr;
    for (QLabel* label : window.findChildren<QLabel*>()) {
      if (label->toolTip() == huge) {
        hugeName = label;
      } else if (label->toolTip().startsWith(QStringLiteral("RTL"))) {
        hostileName = label;
      }
    }
    QVERIFY(hugeName != nullptr && hostileName != nullptr);
    QVERIFY(hugeName->text().size() < 200);
    QVERIFY(hugeName->text().contains(QChar(0x2026)));
    QVERIFY(!hostileName->text().contains(QChar(0x202E)));
    QCOMPARE(hostileName->toolTip(), QStringLiteral("RTL ⟨U+202E⟩exe.live"));
    QVERIFY(named<QSlider>(window, QStringLiteral("Volume of RTL ⟨U+202E⟩exe.live")) != nullptr);
  }

  // Opened from an icon near any corner, the panel lies beside the icon and
  // wholly on the screen, without a title bar.
  void opensBesideTheIconAtEveryCorner() {
    PanelModel model;
    RequestClient requests(desktop->path(QStringLiteral("nobody.sock")));
    PanelWindow window(model, requests, false);
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    model.applyFrame(snapshotWithApps({appJSON(1, QStringLiteral("one"))}));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QPoint corner :
         {area.topLeft() + QPoint(5, 5), area.topRight() + QPoint(-5, 5),
          area.bottomLeft() + QPoint(5, -5), area.bottomRight() + QPoint(-5, -5)}) {
      QVERIFY(window.toggleBeside(corner));
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      QTRY_VERIFY2(area.contains(window.frameGeometry()),
                   qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
      const QRect frame = window.frameGeometry();
      // Beside: the edge nearest the icon is within a few pixels of it.
      const int vertical =
          std::min(std::abs(frame.top() - corner.y()), std::abs(frame.bottom() - corner.y()));
      QVERIFY2(vertical <= 6, qPrintable(QString::number(vertical)));
      QVERIFY(!window.toggleBeside(corner));
      QTRY_VERIFY(!window.isVisible());
    }
  }

  // The output's own mute flag: the button shows it, toggles it and leaves
  // the volume alone; moving the level while muted unmutes.
  void outputMuteIsTheOutputsOwnFlag() {
    QWidget& window = panel_->window;
    const auto outputMuted = [] {
      const CLIStatusInfo status = simStatus();
      return status.outputDevice && status.outputDevice->isMuted.value_or(false);
    };
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "40"}));
    QTRY_COMPARE(named<QSlider>(window, "Output volume")->value(), 40);
    auto* mute = named<QAbstractButton>(window, "Mute output");
    QVERIFY(!outputMuted());
    QTest::mouseClick(mute, Qt::LeftButton);
    QTRY_VERIFY(outputMuted());
    QTRY_VERIFY(mute->isChecked());
    QCOMPARE(mute->text(), QStringLiteral("Muted"));
    QCOMPARE(rounded(simStatus().outputVolume), 40);
    auto* volume = named<QSlider>(window, "Output volume");
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_Right);
    QTRY_VERIFY(!outputMuted());
    QTRY_COMPARE(rounded(simStatus().outputVolume), 41);
    QTRY_VERIFY(!mute->isChecked());
  }

  void helpAndVersionNeedNoDisplay() {
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
      QProcess panel;
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.remove(QStringLiteral("DISPLAY"));
      environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
      panel.setProcessEnvironment(environment);
      panel.start(QStringLiteral(KESTRUNE_PANEL_BINARY), {option});
      QVERIFY(panel.waitForFinished(10000));
      QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
      QCOMPARE(panel.exitCode(), 0);
      const QString out = QString::fromUtf8(panel.readAllStandardOutput());
      QVERIFY2(out.startsWith(option == QStringLiteral("--help")
                                  ? QStringLiteral("Usage: kestrune-panel")
                                  : QStringLiteral("kestrune-panel ")),
               qPrintable(out));
    }
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
