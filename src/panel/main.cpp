// kestrune-panel: the desktop panel and tray icon of Kestrune, following
// the application's live feed over its socket.

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QTimer>

#include "client/CLIClient.h"
#include "panel/FeedConnection.h"
#include "panel/PanelModel.h"
#include "panel/PanelService.h"
#include "panel/PanelWindow.h"
#include "panel/RequestClient.h"
#include "panel/TrayIcon.h"
#include "panel/WaylandPopup.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kestrune-panel"));
  QApplication::setApplicationDisplayName(QStringLiteral("Kestrune"));
  QApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("kestrune-panel"));
  QApplication::setQuitOnLastWindowClosed(false);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("The panel and tray icon of Kestrune."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption socket(QStringList{QStringLiteral("socket")},
                                  QStringLiteral("The application's socket."),
                                  QStringLiteral("PATH"));
  const QCommandLineOption show(QStringList{QStringLiteral("show")},
                                QStringLiteral("Open the panel at start."));
  const QCommandLineOption screenshot(
      QStringList{QStringLiteral("screenshot")},
      QStringLiteral("Open the panel, save a picture of it once it shows the state, and quit."),
      QStringLiteral("FILE"));
  const QCommandLineOption invertScroll(
      QStringList{QStringLiteral("invert-scroll")},
      QStringLiteral("Scrolling up over the tray icon lowers the volume."));
  parser.addOption(socket);
  parser.addOption(invertScroll);
  parser.addOption(show);
  parser.addOption(screenshot);
  parser.process(application);
  const QString socketPath = parser.isSet(socket)
                                 ? parser.value(socket)
                                 : QString::fromStdString(kestrune::CLIClient::defaultSocketPath());

  kestrune::panel::PanelModel model;
  kestrune::panel::RequestClient requests(socketPath);
  kestrune::panel::FeedConnection feed(socketPath, model);
  kestrune::panel::PanelWindow window(model, requests, true);
  // Owned by the window.
  new kestrune::panel::WaylandPopup(window);
  kestrune::panel::PanelService service(window);
  if (!service.claim() && QDBusConnection::sessionBus().isConnected()) {
    // One panel per session: the running one shows itself instead.
    return kestrune::panel::PanelService::showRunningPanel() ? 0 : 1;
  }
  feed.start();
  if (parser.isSet(screenshot)) {
    const QString file = parser.value(screenshot);
    // Time for the layout and the window manager to settle; the window owns it.
    auto* settle = new QTimer(&window);
    settle->setSingleShot(true);
    settle->setInterval(800);
    QObject::connect(settle, &QTimer::timeout, &window,
                     [&window, file] { QApplication::exit(window.grab().save(file) ? 0 : 1); });
    QObject::connect(&model, &kestrune::panel::PanelModel::changed, &window,
                     [&model, &window, settle] {
                       if (model.isConnected() && window.property("shot").isNull()) {
                         window.setProperty("shot", true);
                         settle->start();
                       }
                     });
  }
  kestrune::panel::TrayIcon tray(model, requests, window);
  tray.setScrollInverted(parser.isSet(invertScroll));
  const bool trayShown = tray.start();
  // With no icon to open it from, the panel opens at start. A Wayland
  // session starts its bar beside the panel: the status area has a moment
  // to come first (there is no other tray there to fall back on).
  if (parser.isSet(show) || parser.isSet(screenshot)) {
    window.present();
  } else if (!trayShown) {
    constexpr int statusAreaGraceMs = 3000;
    QTimer::singleShot(kestrune::panel::WaylandPopup::onWayland() ? statusAreaGraceMs : 0, &window,
                       [&tray, &window] {
                         if (!tray.isShown()) {
                           window.present();
                         }
                       });
  }
  return QApplication::exec();
}
