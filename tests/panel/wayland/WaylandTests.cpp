// kestrune-panel natively on a headless Wayland desktop (sway with waybar as
// its status area), used with a virtual mouse over the real bar and a
// virtual keyboard: waybar makes the calls a person's mouse would, and what
// they did is read back with kestrune, the status-area protocol and swaymsg.

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <cmath>
#include <iostream>
#include <optional>

#include "panel/Desktop.h"
#include "panel/wayland/WaylandDesktop.h"

namespace kestrune::panel::test {

namespace {

WaylandDesktop* desktop = nullptr;

double simVolume() {
  const std::optional<CLIResponse> reply = kestrune(desktop->simSocket(), {"volume", "get"});
  if (!reply || !reply->data) {
    return -1;
  }
  const auto* volume = std::get_if<CLIResponseData::Volume>(&reply->data->value);
  return volume != nullptr ? volume->value : -1;
}

// The panel's windows in sway's tree: floating or not, and where.
struct SwayWindow {
  bool floating = false;
  QRect rect;
  bool focused = false;
};

void collectWindows(const QJsonObject& node, bool floating, std::vector<SwayWindow>& windows) {
  if (node.value(QStringLiteral("app_id")).toString() == QStringLiteral("kestrune-panel")) {
    const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
    windows.push_back(SwayWindow{
        floating,
        QRect(rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
              rect.value(QStringLiteral("width")).toInt(),
              rect.value(QStringLiteral("height")).toInt()),
        node.value(QStringLiteral("focused")).toBool()});
  }
  for (const QJsonValue child : node.value(QStringLiteral("nodes")).toArray()) {
    collectWindows(child.toObject(), floating, windows);
  }
  for (const QJsonValue child : node.value(QStringLiteral("floating_nodes")).toArray()) {
    collectWindows(child.toObject(), true, windows);
  }
}

std::vector<SwayWindow> panelWindows() {
  std::vector<SwayWindow> windows;
  if (const std::optional<QJsonDocument> tree = desktop->sway(QStringLiteral("get_tree"))) {
    collectWindows(tree->object(), false, windows);
  }
  return windows;
}

// The tray icon's centre: the bright part of a picture of the bar, which
// holds nothing else.
std::optional<QPoint> iconInBar() {
  const QRect bar(desktop->output().x(), desktop->output().y(), desktop->output().width(), 30);
  const QImage image = desktop->screenshot(bar);
  QRect found;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) > 128) {
        found = found.united(QRect(x, y, 1, 1));
      }
    }
  }
  if (found.width() < 6) {
    return std::nullopt;
  }
  return found.center() + bar.topLeft();
}

QString at(QPoint point) {
  return QStringLiteral("move:%1,%2").arg(point.x()).arg(point.y());
}

QString itemIconName(qint64 pid) {
  QProcess busctl;
  busctl.start(QStringLiteral("busctl"),
               {QStringLiteral("--user"), QStringLiteral("get-property"),
                QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(pid),
                QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.kde.StatusNotifierItem"),
                QStringLiteral("IconName")});
  busctl.waitForFinished(5000);
  return QString::fromUtf8(busctl.readAllStandardOutput()).trimmed();
}

}  // namespace

class WaylandTest : public QObject {
  Q_OBJECT

 private slots:
  // One panel for all the cases, its icon in waybar's status area.
  void initTestCase() {
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "50"}));
    panel_ = desktop->startPanel();
    QVERIFY(panel_ != nullptr);
    QTRY_VERIFY2_WITH_TIMEOUT((icon_ = iconInBar()).has_value(),
                              qPrintable(QStringLiteral("no icon in the bar") +
                                         desktop->logTail(QStringLiteral("waybar"))),
                              10000);
    QVERIFY2(icon_->y() < 30 && icon_->x() > desktop->output().width() - 40,
             qPrintable(QStringLiteral("%1,%2").arg(icon_->x()).arg(icon_->y())));
  }

  // waybar sends a notch up as a negative Scroll: up raises, down lowers,
  // one step a notch.
  void wheelOverTheIconStepsTheRightWay() {
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "up"}));
    const double step = simVolume() - 50;
    QVERIFY(kestrune(desktop->simSocket(), {"volume", "set", "50"}));
    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("wheel:-1")}));
    QTRY_COMPARE(simVolume(), 50 + step);
    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("wheel:1")}));
    QTRY_COMPARE(simVolume(), 50.0);
    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("wheel:2")}));
    QTRY_COMPARE(simVolume(), 50 - 2 * step);
  }

  void middleClickMutesAndUnmutes() {
    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("click:middle")}));
    QTRY_COMPARE(itemIconName(panel_->processId()), QStringLiteral("s \"audio-volume-muted\""));
    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("click:middle")}));
    QTRY_VERIFY(itemIconName(panel_->processId()) != QStringLiteral("s \"audio-volume-muted\""));
  }

  // The popup a click opens has the keyboard, and Escape closes it.
  void escapeClosesThePopup() {
    QVERIFY(panelWindows().empty());
    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("click:left")}));
    QTRY_COMPARE(panelWindows().size(), std::size_t{1});
    QTRY_VERIFY(panelWindows().at(0).focused);
    QVERIFY(desktop->key(QStringLiteral("escape")));
    QTRY_VERIFY(panelWindows().empty());
  }

  // A click opens a floating popup at the bar's corner by the icon, wholly
  // on the output and focused; a second click closes it, and so does a
  // click elsewhere.
  void clickOpensAFloatingPopupBesideTheIcon() {
    QVERIFY(panelWindows().empty());
    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("click:left")}));
    QTRY_COMPARE(panelWindows().size(), std::size_t{1});
    SwayWindow popup;
    QTRY_VERIFY((popup = panelWindows().at(0)).rect.top() < 60);
    QVERIFY(popup.floating);
    QVERIFY2(desktop->output().contains(popup.rect), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                    .arg(popup.rect.x())
                                                                    .arg(popup.rect.y())
                                                                    .arg(popup.rect.width())
                                                                    .arg(popup.rect.height())));
    // Below the bar, its right edge by the icon.
    QVERIFY(popup.rect.top() >= 30);
    QVERIFY(std::abs(popup.rect.right() - icon_->x()) < 40);
    QVERIFY(popup.rect.width() < desktop->output().width() / 2 + 100);
    QTRY_VERIFY(panelWindows().at(0).focused);
    // Kept where KESTRUNE_SCREENSHOTS names a folder (the README's pictures).
    if (const QString folder = qEnvironmentVariable("KESTRUNE_SCREENSHOTS"); !folder.isEmpty()) {
      desktop->screenshot({}, folder + QStringLiteral("/wayland-popup.png"));
    }

    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("click:left")}));
    QTRY_VERIFY(panelWindows().empty());

    QVERIFY(desktop->pointer({at(*icon_), QStringLiteral("click:left")}));
    QTRY_COMPARE(panelWindows().size(), std::size_t{1});
    QTRY_VERIFY(panelWindows().at(0).focused);
    QVERIFY(desktop->pointer({QStringLiteral("move:100,400"), QStringLiteral("click:left")}));
    QTRY_VERIFY(panelWindows().empty());
  }

  // weston places windows itself and has no layer for bars: the panel, with
  // no status area there, opens at start as an ordinary floating toplevel,
  // as its own protocol log shows (WAYLAND_DEBUG): an xdg_toplevel that
  // weston leaves the size of (configure 0x0), neither maximised nor full
  // screen, drawn at its own size.
  void westonShowsAFloatingToplevel() {
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty()) {
      QSKIP("needs weston");
    }
    const QString socket = desktop->startWeston();
    QVERIFY(!socket.isEmpty());
    QProcess panel;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : desktop->clientEnvironment()) {
      const qsizetype equals = entry.indexOf(QLatin1Char('='));
      variables.insert(entry.left(equals), entry.mid(equals + 1));
    }
    variables.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
    // Off the session bus, where the sway case's panel holds the panel's name.
    variables.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                     QStringLiteral("unix:path=") + desktop->path(QStringLiteral("no-bus")));
    variables.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
    variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    panel.setProcessEnvironment(variables);
    panel.setStandardErrorFile(desktop->path(QStringLiteral("weston-panel.log")));
    panel.start(QStringLiteral(KESTRUNE_PANEL_BINARY),
                {QStringLiteral("--socket"), desktop->simSocket(), QStringLiteral("--show")});
    const auto stopPanel = qScopeGuard([&panel] {
      panel.terminate();
      if (!panel.waitForFinished(5000)) {
        panel.kill();
        panel.waitForFinished(5000);
      }
    });
    const auto log = [] {
      QFile file(desktop->path(QStringLiteral("weston-panel.log")));
      return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QRegularExpression configured(
        QStringLiteral("xdg_toplevel@\\d+\\.configure\\((\\d+), (\\d+),"));
    const QRegularExpression drawn(QStringLiteral("wl_surface@\\d+\\.attach\\(wl_buffer@\\d+"));
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(configured) && log().contains(drawn), 10000);
    const QString text = log();
    const QRegularExpressionMatch size = configured.match(text);
    QCOMPARE(size.captured(1), QStringLiteral("0"));
    QCOMPARE(size.captured(2), QStringLiteral("0"));
    QVERIFY(text.contains(QStringLiteral("set_app_id(\"kestrune-panel\")")));
    for (const char* request : {"set_maximized", "set_fullscreen"}) {
      QVERIFY2(!text.contains(QLatin1String(request)), request);
    }
  }

 private:
  QProcess* panel_ = nullptr;
  std::optional<QPoint> icon_;
};

}  // namespace kestrune::panel::test

int main(int argc, char** argv) {
  const QCoreApplication application(argc, argv);
  kestrune::panel::test::WaylandDesktop desktop;
  if (!desktop.failure().isEmpty()) {
    std::cout << "SKIP: no private Wayland desktop: " << desktop.failure().toStdString() << '\n';
    return 77;
  }
  kestrune::panel::test::desktop = &desktop;
  kestrune::panel::test::WaylandTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "WaylandTests.moc"
