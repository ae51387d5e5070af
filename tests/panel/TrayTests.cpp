// The tray icon of the installed kestrune-panel against a real kestrune-sim
// on a private desktop, with a small status-area watcher on its session bus.
// The item and its menu are read and driven with busctl, as a status area
// would, and what they do is read back with kestrune and xwininfo.

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <cmath>
#include <memory>
#include <optional>

#include "panel/Desktop.h"
#include "panel/PanelModel.h"
#include "panel/TrayMenu.h"
#include "panel/TrayTestWatcher.h"
#include "protocol/Feed.h"

namespace kestrune::panel::test {

namespace {

Desktop* desktop = nullptr;

const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

// A kestrune-panel of its own, stopped by process when done with.
class RunningPanel {
 public:
  explicit RunningPanel(const QString& socket = desktop->simSocket(),
                        const QStringList& options = {}) {
    process_.setProgram(QStringLiteral(KESTRUNE_PANEL_BINARY));
    process_.setArguments(QStringList{QStringLiteral("--socket"), socket} + options);
    process_.start();
  }
  ~RunningPanel() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  RunningPanel(const RunningPanel&) = delete;
  RunningPanel& operator=(const RunningPanel&) = delete;

  bool holdsPanelName() const {
    return QDBusConnection::sessionBus()
        .interface()
        ->isServiceRegistered(QStringLiteral("org.kestrune.Panel"))
        .value();
  }
  QString itemService() const {
    return QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(process_.processId());
  }
  // What it wrote on its standard error so far.
  QString errors() {
    errors_ += QString::fromUtf8(process_.readAllStandardError());
    return errors_;
  }
  bool running() const { return process_.state() == QProcess::Running; }
  int exitCode() const { return process_.exitCode(); }
  qint64 pid() const { return process_.processId(); }

 private:
  QProcess process_;
  QString errors_;
};

// What busctl writes with `--json=short`, or nothing when it fails.
// Arguments follow "--": a negative number is not an option.
std::optional<QByteArray> busctlOutput(const QStringList& arguments) {
  QProcess process;
  process.start(
      QStringLiteral("busctl"),
      QStringList{QStringLiteral("--user"), QStringLiteral("--json=short"), QStringLiteral("--")} +
          arguments);
  if (!process.waitForFinished(10000) || process.exitCode() != 0) {
    return std::nullopt;
  }
  return process.readAllStandardOutput();
}

// The "data" of busctl's answer; undefined when it failed.
QJsonValue busctl(const QStringList& arguments) {
  const std::optional<QByteArray> output = busctlOutput(arguments);
  return output ? QJsonDocument::fromJson(*output).object().value("data") : QJsonValue::Undefined;
}

QJsonValue itemProperty(const RunningPanel& panel, const QString& name) {
  return busctl({QStringLiteral("get-property"), panel.itemService(),
                 QStringLiteral("/StatusNotifierItem"), itemInterface, name});
}

bool callItem(const RunningPanel& panel, const QStringList& methodAndArguments) {
  return busctlOutput(QStringList{QStringLiteral("call"), panel.itemService(),
                                  QStringLiteral("/StatusNotifierItem"), itemInterface} +
                      methodAndArguments)
      .has_value();
}

// A Scroll sent as the host named `host` sends it: from a process of that
// name (busctl under another name), with the host's delta.
bool scrollAs(const QString& host, const RunningPanel& panel, int delta) {
  const QString caller = desktop->path(host);
  if (!QFile::exists(caller) &&
      !QFile::link(QStandardPaths::findExecutable(QStringLiteral("busctl")), caller)) {
    return false;
  }
  QProcess process;
  process.start(caller, {QStringLiteral("--user"), QStringLiteral("--"), QStringLiteral("call"),
                         panel.itemService(), QStringLiteral("/StatusNotifierItem"), itemInterface,
                         QStringLiteral("Scroll"), QStringLiteral("is"), QString::number(delta),
                         QStringLiteral("vertical")});
  return process.waitForFinished(10000) && process.exitCode() == 0;
}

// One entry of the menu as busctl shows it: [id, {name: {type, data}}, [children]].
struct MenuEntry {
  int id = 0;
  QJsonObject properties;
  QJsonArray children;

  QString text(const char* name) const {
    return properties.value(QLatin1String(name)).toObject().value("data").toString();
  }
  int number(const char* name) const {
    return properties.value(QLatin1String(name)).toObject().value("data").toInt(-1);
  }
};

MenuEntry entryOf(const QJsonValue& value) {
  const QJsonArray parts = value.toArray();
  return MenuEntry{parts.at(0).toInt(), parts.at(1).toObject(), parts.at(2).toArray()};
}

// The whole menu's entries, depth first; with the layout's revision.
std::vector<MenuEntry> menuEntries(const RunningPanel& panel, unsigned* revision = nullptr) {
  const QJsonArray reply =
      busctl({QStringLiteral("call"), panel.itemService(), QStringLiteral("/MenuBar"),
              menuInterface, QStringLiteral("GetLayout"), QStringLiteral("iias"),
              QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("0")})
          .toArray();
  if (revision != nullptr) {
    *revision = static_cast<unsigned>(reply.at(0).toInteger());
  }
  std::vector<MenuEntry> entries;
  std::vector<QJsonValue> pending{reply.at(1)};
  while (!pending.empty()) {
    const MenuEntry entry = entryOf(pending.back());
    pending.pop_back();
    // Each child is in a variant: {type, data}.
    for (qsizetype i = entry.children.size() - 1; i >= 0; --i) {
      pending.push_back(entry.children.at(i).toObject().value("data"));
    }
    entries.push_back(entry);
  }
  return entries;
}

const MenuEntry* labelled(const std::vector<MenuEntry>& entries, const QString& label) {
  for (const MenuEntry& entry : entries) {
    if (entry.text("label") == label) {
      return &entry;
    }
  }
  return nullptr;
}

bool clickEntry(const RunningPanel& panel, int id) {
  return busctlOutput({QStringLiteral("call"), panel.itemService(), QStringLiteral("/MenuBar"),
                       menuInterface, QStringLiteral("Event"), QStringLiteral("isvu"),
                       QString::number(id), QStringLiteral("clicked"), QStringLiteral("s"),
                       QString(), QStringLiteral("0")})
      .has_value();
}

CLIStatusInfo simStatus() {
  const std::optional<CLIResponse> reply = kestrune(desktop->simSocket(), {"status"});
  if (!reply || !reply->data) {
    return {};
  }
  const auto* status = std::get_if<CLIResponseData::Status>(&reply->data->value);
  return status ? status->value : CLIStatusInfo{};
}

std::vector<CLIDeviceInfo> simOutputs() {
  const std::optional<CLIResponse> reply =
      kestrune(desktop->simSocket(), {"device", "list", "--direction", "output"});
  if (!reply || !reply->data) {
    return {};
  }
  const auto* devices = std::get_if<CLIResponseData::Devices>(&reply->data->value);
  return devices ? devices->value : std::vector<CLIDeviceInfo>{};
}

double simVolume() {
  return simStatus().outputVolume;
}

// The output's own mute flag, as the simulator holds it.
bool simOutputMuted() {
  const CLIStatusInfo status = simStatus();
  return status.outputDevice && status.outputDevice->isMuted.value_or(false);
}

// The windows named Kestrune that process `pid` made (another desktop's
// panel may share the name), in xdotool's order.
QStringList kestruneWindows(qint64 pid) {
  QProcess xdotool;
  xdotool.start(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--pid"),
                 QString::number(pid), QStringLiteral("--name"), QStringLiteral("^Kestrune$")});
  if (!xdotool.waitForFinished(5000)) {
    return {};
  }
  return QString::fromUtf8(xdotool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// What xwininfo tells of a window; empty when it cannot.
QString xwininfoOf(const QString& window) {
  QProcess xwininfo;
  xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
  if (!xwininfo.waitForFinished(5000)) {
    return {};
  }
  return QString::fromUtf8(xwininfo.readAllStandardOutput());
}

// What xwininfo tells of the first of those windows; empty when there is none.
QString windowInfo(qint64 pid) {
  const QStringList windows = kestruneWindows(pid);
  return windows.isEmpty() ? QString() : xwininfoOf(windows.front());
}

// "IsViewable", "IsUnMapped", or "none" when there is no such window.
QString mapState(const RunningPanel& panel) {
  const QRegularExpressionMatch state =
      QRegularExpression(QStringLiteral("Map State: (\\w+)")).match(windowInfo(panel.pid()));
  return state.hasMatch() ? state.captured(1) : QStringLiteral("none");
}

// The absolute centre of the window named Kestrune that the X11 tray host
// holds (xwininfo's tree of the host); nothing while it holds none.
std::optional<QPoint> iconInX11Tray() {
  QProcess xwininfo;
  xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
  if (!xwininfo.waitForFinished(5000)) {
    return std::nullopt;
  }
  const QString tree = QString::fromUtf8(xwininfo.readAllStandardOutput());
  const qsizetype host = tree.indexOf(QStringLiteral("(\"panel\" \"trayer\")"));
  if (host < 0) {
    return std::nullopt;
  }
  // "Kestrune": ("kestrune-panel" "kestrune-panel")  22x30+0+0  +1257+1
  const QRegularExpressionMatch icon =
      QRegularExpression(QStringLiteral("\"Kestrune\": \\(\"kestrune-panel\" "
                                        "\"kestrune-panel\"\\)  (\\d+)x(\\d+)\\S*  "
                                        "\\+(-?\\d+)\\+(-?\\d+)"))
          .match(tree, host);
  if (!icon.hasMatch()) {
    return std::nullopt;
  }
  return QPoint(icon.captured(3).toInt() + icon.captured(1).toInt() / 2,
                icon.captured(4).toInt() + icon.captured(2).toInt() / 2);
}

// The map state of the panel's own window when a tray icon window of the
// same name and process exists: the one wider than any icon; "none" when
// there is none.
QString panelWindowState(qint64 pid) {
  for (const QString& window : kestruneWindows(pid)) {
    const QString info = xwininfoOf(window);
    const int width =
        QRegularExpression(QStringLiteral("Width: (\\d+)")).match(info).captured(1).toInt();
    if (width > 100) {
      return QRegularExpression(QStringLiteral("Map State: (\\w+)")).match(info).captured(1);
    }
  }
  return QStringLiteral("none");
}

// xdotool's exit status, and what it printed when asked for.
int xdotool(const QStringList& arguments, QString* output = nullptr) {
  QProcess process;
  process.start(QStringLiteral("xdotool"), arguments);
  if (!process.waitForFinished(5000)) {
    return -1;
  }
  if (output != nullptr) {
    *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
  }
  return process.exitCode();
}

bool click(QPoint where, int button) {
  return xdotool({QStringLiteral("mousemove"), QString::number(where.x()),
                  QString::number(where.y()), QStringLiteral("click"), QString::number(button)}) ==
         0;
}

QString focusedWindowName() {
  QString name;
  xdotool({QStringLiteral("getwindowfocus"), QStringLiteral("getwindowname")}, &name);
  return name;
}

}  // namespace

class TrayTest : public QObject {
  Q_OBJECT

 private slots:
  // Without a status area the panel opens at start and says so once; a
  // watcher that comes later, or comes back, gets the item registered.
  void registersWhenAWatcherAppearsAndAgainWhenItReturns() {
    RunningPanel panel;
    QTRY_VERIFY_WITH_TIMEOUT(panel.errors().contains(QStringLiteral("no tray icons")), 10000);
    QTRY_COMPARE(mapState(panel), QStringLiteral("IsViewable"));
    QCOMPARE(panel.errors().count(QStringLiteral("kestrune-panel:")), 1);

    // The watcher stays for the cases that follow.
    QVERIFY(watching());
    QTRY_COMPARE(watcher_.registrations().size(), 1);
    QVERIFY(watcher_.registrations().at(0).startsWith(panel.itemService() + " from :"));
    watcher_.stop();
    QVERIFY(watcher_.start());
    QTRY_COMPARE(watcher_.registrations().size(), 2);
    QCOMPARE(watcher_.registrations().at(1), watcher_.registrations().at(0));
    QVERIFY(panel.running());
  }

  // With a status area the window waits to be asked for; the item describes
  // itself and its icon and tooltip follow the output, announced only when
  // they change.
  void describesTheOutputInIconAndToolTip() {
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "50"}));
    QVERIFY(watching());
    RunningPanel panel;
    QTRY_VERIFY(watcher_.registeredItems().contains(panel.itemService()));
    QCOMPARE(mapState(panel), QStringLiteral("none"));
    QCOMPARE(itemProperty(panel, "Category").toString(), QStringLiteral("Hardware"));
    QCOMPARE(itemProperty(panel, "Id").toString(), QStringLiteral("kestrune"));
    QCOMPARE(itemProperty(panel, "Title").toString(), QStringLiteral("Kestrune"));
    QCOMPARE(itemProperty(panel, "Status").toString(), QStringLiteral("Active"));
    QCOMPARE(itemProperty(panel, "ItemIsMenu").toBool(true), false);
    QCOMPARE(itemProperty(panel, "Menu").toString(), QStringLiteral("/MenuBar"));
    const QString output = QString::fromStdString(simStatus().outputDevice->name);
    QTRY_COMPARE(itemProperty(panel, "IconName").toString(), QStringLiteral("audio-volume-medium"));
    const QJsonArray toolTip = itemProperty(panel, "ToolTip").toArray();
    QCOMPARE(toolTip.at(0).toString(), QStringLiteral("audio-volume-medium"));
    QCOMPARE(toolTip.at(2).toString(), QStringLiteral("Kestrune"));
    // The device's name is isolated: its own direction cannot turn the sentence.
    QCOMPARE(toolTip.at(3).toString(),
             QStringLiteral("Volume 50% — ") + QChar(0x2068) + output + QChar(0x2069));
    // Pictures of our own for hosts whose theme lacks the name: ARGB, 4 bytes a pixel.
    const QJsonArray pixmaps = itemProperty(panel, "IconPixmap").toArray();
    QVERIFY(!pixmaps.isEmpty());
    const QJsonArray first = pixmaps.at(0).toArray();
    QCOMPARE(first.at(2).toArray().size(), first.at(0).toInt() * first.at(1).toInt() * 4);

    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.connect(panel.itemService(), "/StatusNotifierItem", itemInterface, "NewIcon", this,
                        SLOT(countIcon())));
    QVERIFY(bus.connect(panel.itemService(), "/StatusNotifierItem", itemInterface, "NewToolTip",
                        this, SLOT(countToolTip())));
    icons_ = 0;
    toolTips_ = 0;
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "60"}));
    QTRY_VERIFY(toolTips_ >= 1);
    QTRY_COMPARE(itemProperty(panel, "ToolTip").toArray().at(3).toString(),
                 QStringLiteral("Volume 60% — ") + QChar(0x2068) + output + QChar(0x2069));
    QCOMPARE(icons_, 0);
    for (const auto& [volume, name] :
         std::vector<std::pair<QString, QString>>{{"20", "audio-volume-low"},
                                                  {"90", "audio-volume-high"},
                                                  {"0", "audio-volume-muted"}}) {
      QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", volume}));
      QTRY_COMPARE(itemProperty(panel, "IconName").toString(), name);
    }
    QTRY_COMPARE(icons_, 3);
  }

  // With the application gone the tooltip says so and the menu keeps only
  // what still works; both come back with it.
  void saysWhenTheApplicationIsGone() {
    QVERIFY(watching());
    const QString socket = desktop->path(QStringLiteral("later.sock"));
    RunningPanel panel(socket);
    QTRY_VERIFY(watcher_.registeredItems().contains(panel.itemService()));
    QTRY_VERIFY(itemProperty(panel, "ToolTip").toArray().at(3).toString().contains("not running"));
    QCOMPARE(itemProperty(panel, "IconName").toString(), QStringLiteral("audio-volume-muted"));
    std::vector<MenuEntry> entries = menuEntries(panel);
    QVERIFY(labelled(entries, "Open panel") != nullptr);
    QVERIFY(labelled(entries, "Silent mode") == nullptr);
    QVERIFY(desktop->startSim(socket));
    QTRY_VERIFY_WITH_TIMEOUT(
        itemProperty(panel, "ToolTip").toArray().at(3).toString().startsWith("Volume "), 10000);
    QTRY_VERIFY(labelled(menuEntries(panel), "Silent mode") != nullptr);
    desktop->stopSim(socket);
    QTRY_VERIFY(itemProperty(panel, "ToolTip").toArray().at(3).toString().contains("not running"));
  }

  // The menu lists the outputs with the default chosen; choosing another
  // makes it the default, and silent mode follows its checkmark.
  void menuChoosesTheOutputAndSilentMode() {
    QVERIFY(watching());
    RunningPanel panel;
    QTRY_VERIFY(watcher_.registeredItems().contains(panel.itemService()));
    const std::vector<CLIDeviceInfo> outputs = simOutputs();
    QVERIFY(outputs.size() >= 2);
    const QString current = QString::fromStdString(simStatus().outputDevice->name);
    std::vector<MenuEntry> entries;
    // The toggle state of an entry in the menu read afresh; -1 when absent.
    const auto toggleOf = [&](const QString& label) {
      entries = menuEntries(panel);
      const MenuEntry* entry = labelled(entries, label);
      return entry != nullptr ? entry->number("toggle-state") : -1;
    };
    QTRY_COMPARE(toggleOf(current), 1);
    for (const CLIDeviceInfo& device : outputs) {
      const MenuEntry* entry = labelled(entries, QString::fromStdString(device.name));
      QVERIFY2(entry != nullptr, device.name.c_str());
      QCOMPARE(entry->text("toggle-type"), QStringLiteral("radio"));
      QCOMPARE(entry->number("toggle-state"),
               QString::fromStdString(device.name) == current ? 1 : 0);
    }
    for (const char* label : {"Mute output", "Silent mode", "Profiles", "Open panel", "Quit"}) {
      QVERIFY2(labelled(entries, label) != nullptr, label);
    }
    // Where a click opens the menu, its first entry opens the panel.
    QCOMPARE(entries.at(1).text("label"), QStringLiteral("Open panel"));
    QCOMPARE(entries.back().text("label"), QStringLiteral("Quit"));

    const auto other = std::find_if(outputs.begin(), outputs.end(), [&](const CLIDeviceInfo& d) {
      return QString::fromStdString(d.name) != current;
    });
    const QString chosen = QString::fromStdString(other->name);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.connect(panel.itemService(), "/MenuBar", menuInterface, "ItemsPropertiesUpdated",
                        this, SLOT(countMenuProperties())));
    QVERIFY(bus.connect(panel.itemService(), "/MenuBar", menuInterface, "LayoutUpdated", this,
                        SLOT(countMenuLayout())));
    menuProperties_ = 0;
    menuLayouts_ = 0;
    unsigned revision = 0;
    menuEntries(panel, &revision);
    QVERIFY(clickEntry(panel, labelled(entries, chosen)->id));
    QTRY_COMPARE(QString::fromStdString(simStatus().outputDevice->name), chosen);
    QTRY_COMPARE(toggleOf(chosen), 1);
    QCOMPARE(toggleOf(current), 0);
    // Another choice is a change of states, not of the entries.
    QTRY_VERIFY(menuProperties_ >= 1);
    QCOMPARE(menuLayouts_, 0);
    unsigned after = 0;
    menuEntries(panel, &after);
    QCOMPARE(after, revision);

    const bool silent = simStatus().isSilentMode;
    QCOMPARE(toggleOf("Silent mode"), silent ? 1 : 0);
    QVERIFY(clickEntry(panel, labelled(entries, "Silent mode")->id));
    QTRY_COMPARE(simStatus().isSilentMode, !silent);
    QTRY_COMPARE(toggleOf("Silent mode"), silent ? 0 : 1);
    QVERIFY(!clickEntry(panel, 9999));
    // A group of events: the known entry is clicked, the unknown one named back.
    const QJsonArray unknown =
        busctl({QStringLiteral("call"), panel.itemService(), QStringLiteral("/MenuBar"),
                menuInterface, QStringLiteral("EventGroup"), QStringLiteral("a(isvu)"),
                QStringLiteral("2"), QString::number(labelled(entries, "Silent mode")->id),
                QStringLiteral("clicked"), QStringLiteral("s"), QString(), QStringLiteral("0"),
                QStringLiteral("9999"), QStringLiteral("clicked"), QStringLiteral("s"), QString(),
                QStringLiteral("0")})
            .toArray()
            .at(0)
            .toArray();
    QCOMPARE(unknown, QJsonArray({9999}));
    QTRY_COMPARE(simStatus().isSilentMode, silent);
  }

  // Scrolling steps the volume as `kestrune volume up`/`down` does, the
  // middle click mutes and unmutes, and activating toggles the window.
  void scrollMiddleClickAndActivate() {
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "50"}));
    const std::optional<CLIResponse> reference = kestrune(desktop->simSocket(), {"volume", "up"});
    QVERIFY(reference);
    const double step = simVolume() - 50;
    QVERIFY(step > 0);
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "50"}));
    QVERIFY(watching());
    RunningPanel panel;
    QTRY_VERIFY(watcher_.registeredItems().contains(panel.itemService()));
    QTRY_COMPARE(itemProperty(panel, "ToolTip").toArray().at(3).toString().left(11),
                 QStringLiteral("Volume 50% "));
    QVERIFY(callItem(panel, {"Scroll", "is", "120", "vertical"}));
    QTRY_COMPARE(simVolume(), 50 + step);
    QVERIFY(callItem(panel, {"Scroll", "is", "-240", "vertical"}));
    QTRY_COMPARE(simVolume(), 50 - step);
    // The middle click sets the output's own mute flag and leaves its volume.
    QTRY_COMPARE(itemProperty(panel, "ToolTip").toArray().at(3).toString().left(11),
                 QStringLiteral("Volume %1% ").arg(std::lround(50 - step)));
    QVERIFY(!simOutputMuted());
    QVERIFY(callItem(panel, {"SecondaryActivate", "ii", "0", "0"}));
    QTRY_VERIFY(simOutputMuted());
    QCOMPARE(simVolume(), 50 - step);
    QTRY_COMPARE(itemProperty(panel, "IconName").toString(), QStringLiteral("audio-volume-muted"));
    QTRY_VERIFY(itemProperty(panel, "ToolTip")
                    .toArray()
                    .at(3)
                    .toString()
                    .startsWith(QStringLiteral("Output muted")));
    QVERIFY(callItem(panel, {"SecondaryActivate", "ii", "0", "0"}));
    QTRY_VERIFY(!simOutputMuted());
    QTRY_VERIFY(itemProperty(panel, "IconName").toString() != QStringLiteral("audio-volume-muted"));
    // Twice at once: the second undoes the first, whatever the feed has
    // brought meanwhile.
    QVERIFY(callItem(panel, {"SecondaryActivate", "ii", "0", "0"}));
    QVERIFY(callItem(panel, {"SecondaryActivate", "ii", "0", "0"}));
    QTest::qWait(300);
    QTRY_VERIFY(!simOutputMuted());
    QCOMPARE(simVolume(), 50 - step);

    QCOMPARE(mapState(panel), QStringLiteral("none"));
    QVERIFY(callItem(panel, {"Activate", "ii", "1200", "4"}));
    QTRY_COMPARE(mapState(panel), QStringLiteral("IsViewable"));
    // Beside the icon: an icon at the top right opens it below, at the right.
    const QString info = windowInfo(panel.pid());
    const auto field = [&info](const char* name) {
      return QRegularExpression(QStringLiteral("%1: +(-?\\d+)").arg(QLatin1String(name)))
          .match(info)
          .captured(1)
          .toInt();
    };
    QVERIFY2(field("Absolute upper-left Y") < 100, qPrintable(info));
    QVERIFY2(field("Absolute upper-left X") > 1200 - field("Width"), qPrintable(info));
    QVERIFY2(field("Absolute upper-left X") + field("Width") <= 1280 + 2, qPrintable(info));
    QVERIFY(callItem(panel, {"Activate", "ii", "1200", "4"}));
    QTRY_COMPARE(mapState(panel), QStringLiteral("IsUnMapped"));
  }

  // Each host's wheel convention, called as that host calls: one notch is
  // one step up or down whatever its units, and an angle below a notch
  // waits for the rest.
  void scrollFollowsEachHost() {
    QVERIFY(watching());
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "50"}));
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "up"}));
    const double step = simVolume() - 50;
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "50"}));
    {
      RunningPanel panel;
      QTRY_VERIFY(watcher_.registeredItems().contains(panel.itemService()));
      // waybar: negative is up, 1 or 2 per notch.
      QVERIFY(scrollAs(QStringLiteral("waybar"), panel, -2));
      QTRY_COMPARE(simVolume(), 50 + step);
      QVERIFY(scrollAs(QStringLiteral("waybar"), panel, 1));
      QTRY_COMPARE(simVolume(), 50.0);
      // GNOME Shell's AppIndicator extension: as GDK, one per notch.
      QVERIFY(scrollAs(QStringLiteral("gnome-shell"), panel, -1));
      QTRY_COMPARE(simVolume(), 50 + step);
      QVERIFY(scrollAs(QStringLiteral("gnome-shell"), panel, 1));
      QTRY_COMPARE(simVolume(), 50.0);
      // Plasma: positive is up, 120 a notch; a touchpad's small angles add up.
      QVERIFY(scrollAs(QStringLiteral("plasmashell"), panel, 120));
      QTRY_COMPARE(simVolume(), 50 + step);
      QVERIFY(scrollAs(QStringLiteral("plasmashell"), panel, -40));
      QVERIFY(scrollAs(QStringLiteral("plasmashell"), panel, -40));
      QTest::qWait(200);
      QCOMPARE(simVolume(), 50 + step);
      QVERIFY(scrollAs(QStringLiteral("plasmashell"), panel, -40));
      QTRY_COMPARE(simVolume(), 50.0);
    }
    RunningPanel inverted(desktop->simSocket(), {QStringLiteral("--invert-scroll")});
    QTRY_VERIFY(watcher_.registeredItems().contains(inverted.itemService()));
    QVERIFY(scrollAs(QStringLiteral("waybar"), inverted, -2));
    QTRY_COMPARE(simVolume(), 50 - step);
    QVERIFY(scrollAs(QStringLiteral("plasmashell"), inverted, -120));
    QTRY_COMPARE(simVolume(), 50.0);
  }

  // A host may click an entry of a layout it read before a change: the
  // entries keep their ids, and only changes of the entries themselves
  // make a new layout.
  void menuEntriesKeepTheirIdsAcrossChanges() {
    const auto device = [](const std::string& uid, bool isDefault) {
      CLIDeviceInfo info;
      info.uid = uid;
      info.name = "Device " + uid;
      info.isOutput = true;
      info.isDefault = isDefault;
      return info;
    };
    FeedState state;
    state.status.isRunning = true;
    state.devices = {device("a", true), device("b", false)};
    state.status.outputDevice = state.devices[0];
    PanelModel model;
    TrayMenu menu;
    const auto feed = [&] {
      model.applyFrame(snapshotEvent(state, FeedKinds::all()));
      return menu.update(model, {QStringLiteral("Work")});
    };
    const auto idOf = [&](const QString& label) {
      for (const TrayMenuEntry& entry : menu.root().children) {
        if (entry.label == label) {
          return entry.id;
        }
      }
      return -1;
    };
    QVERIFY(feed().layout);
    const int b = idOf("Device b");
    const int quit = idOf("Quit");
    const unsigned revision = menu.revision();
    QCOMPARE(menu.find(idOf("Profiles"))->children.at(0).label, QStringLiteral("Work"));

    state.status.outputDevice = state.devices[1];
    const TrayMenu::Changes chosen = feed();
    QVERIFY(!chosen.layout);
    QCOMPARE(chosen.entries, (std::vector<int>{idOf("Device a"), b}));
    QVERIFY(menu.find(b)->toggled);
    QCOMPARE(menu.revision(), revision);
    QVERIFY(feed().entries.empty());

    state.devices.erase(state.devices.begin());
    QVERIFY(feed().layout);
    QCOMPARE(idOf("Device a"), -1);
    state.devices.push_back(device("c", false));
    QVERIFY(feed().layout);
    QCOMPARE(idOf("Device b"), b);
    QCOMPARE(idOf("Quit"), quit);
    QVERIFY(idOf("Device c") > quit);
    QCOMPARE(menu.revision(), revision + 2);
    QCOMPARE(menu.find(b)->effect, TrayMenuEntry::Effect::setOutput);
    QCOMPARE(menu.find(b)->argument, QStringLiteral("b"));
  }

  void quitEndsThePanelAfterAnsweringTheHost() {
    QVERIFY(watching());
    RunningPanel panel;
    QTRY_VERIFY(watcher_.registeredItems().contains(panel.itemService()));
    std::vector<MenuEntry> entries;
    QTRY_VERIFY((entries = menuEntries(panel), labelled(entries, QStringLiteral("Quit"))));
    const int quit = labelled(entries, QStringLiteral("Quit"))->id;
    QVERIFY(clickEntry(panel, quit));
    QTRY_VERIFY(!panel.running());
    QCOMPARE(panel.exitCode(), 0);
  }

  // Where no status area watches but an X11 tray host runs, the icon sits
  // in that tray: a click opens the window, a middle click mutes.
  void fallsBackToTheX11TrayWithoutAWatcher() {
    if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty()) {
      QSKIP("needs an X11 tray host: install trayer");
    }
    watcher_.stop();
    watched_ = false;
    QProcess host;
    host.start(QStringLiteral("trayer"),
               {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                QStringLiteral("--width"), QStringLiteral("200"), QStringLiteral("--heighttype"),
                QStringLiteral("pixel"), QStringLiteral("--height"), QStringLiteral("32")});
    QVERIFY(host.waitForStarted(5000));
    const auto stopHost = qScopeGuard([&host] {
      host.terminate();
      if (!host.waitForFinished(5000)) {
        host.kill();
        host.waitForFinished(5000);
      }
    });
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "40"}));
    // The host must own the tray before the panel looks for one.
    QTRY_VERIFY_WITH_TIMEOUT(xdotool({QStringLiteral("search"), QStringLiteral("--class"),
                                      QStringLiteral("trayer")}) == 0,
                             10000);
    RunningPanel panel;
    std::optional<QPoint> icon;
    QTRY_VERIFY_WITH_TIMEOUT((icon = iconInX11Tray()).has_value(), 10000);
    QVERIFY2(!panel.errors().contains(QStringLiteral("no tray icons")), qPrintable(panel.errors()));
    QCOMPARE(panelWindowState(panel.pid()), QStringLiteral("none"));
    QVERIFY(click(*icon, 1));
    QTRY_COMPARE(panelWindowState(panel.pid()), QStringLiteral("IsViewable"));
    // Clicked again once it is in front, as a user would: later than a
    // double click.
    QTRY_VERIFY(focusedWindowName() == QStringLiteral("Kestrune"));
    QTest::qWait(2 * QApplication::doubleClickInterval());
    QVERIFY(click(*icon, 1));
    QTRY_COMPARE(panelWindowState(panel.pid()), QStringLiteral("IsUnMapped"));
    QVERIFY(click(*icon, 2));
    QTRY_VERIFY(simOutputMuted());
    QCOMPARE(simVolume(), 40.0);
    QTest::qWait(2 * QApplication::doubleClickInterval());
    QVERIFY(click(*icon, 2));
    QTRY_VERIFY(!simOutputMuted());
    QCOMPARE(simVolume(), 40.0);
    // The wheel over the icon: button 4 is up, 5 down.
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "up"}));
    const double step = simVolume() - 40;
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "40"}));
    QVERIFY(click(*icon, 4));
    QTRY_COMPARE(simVolume(), 40 + step);
    QVERIFY(click(*icon, 5));
    QVERIFY(click(*icon, 5));
    QTRY_COMPARE(simVolume(), 40 - step);
  }

  void cleanupTestCase() { watcher_.stop(); }

 public slots:
  void countIcon() { ++icons_; }
  void countToolTip() { ++toolTips_; }
  void countMenuProperties() { ++menuProperties_; }
  void countMenuLayout() { ++menuLayouts_; }

 private:
  // The watcher is put on the bus once, by the first case that needs it.
  bool watching() {
    watched_ = watched_ || watcher_.start();
    return watched_;
  }

  TrayTestWatcher watcher_;
  bool watched_ = false;
  int icons_ = 0;
  int toolTips_ = 0;
  int menuProperties_ = 0;
  int menuLayouts_ = 0;
};

}  // namespace kestrune::panel::test

int main(int argc, char** argv) {
  return kestrune::panel::test::runOnDesktop<kestrune::panel::test::TrayTest>(
      argc, argv, "the tray", kestrune::panel::test::desktop);
}

#include "TrayTests.moc"
