// kestrune-panel: the desktop panel and tray icon of Kestrune, following
// the application's live feed over its socket.

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QTimer>
#include <iostream>
#include <optional>

#include "client/CLIClient.h"
#include "panel/FeedConnection.h"
#include "panel/PanelModel.h"
#include "panel/PanelService.h"
#include "panel/PanelWindow.h"
#include "panel/RequestClient.h"
#include "panel/TrayIcon.h"
#include "panel/WaylandPopup.h"

namespace {

struct Options {
  QString socketPath;
  bool show = false;
  bool invertScroll = false;
  QString screenshot;
};

// Read twice: before the GUI application exists, so that --help and
// --version answer without a display (Qt's own options, such as -platform,
// are not known yet then), and after it has taken Qt's options away.
// Nothing when the program should end with `status`.
std::optional<Options> readOptions(const QStringList& arguments, bool beforeGUI, int& status) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("The panel and tray icon of Kestrune."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
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
  const bool parsed = parser.parse(arguments);
  if (!parsed && !beforeGUI) {
    std::cerr << "kestrune-panel: " << parser.errorText().toStdString() << '\n';
    status = 1;
    return std::nullopt;
  }
  if (parser.isSet(help)) {
    // Without the application object Qt cannot tell the program's name.
    std::cout << parser.helpText()
                     .replace(QStringLiteral("<executable_name>"), QStringLiteral("kestrune-panel"))
                     .toStdString();
    status = 0;
    return std::nullopt;
  }
  if (parser.isSet(version)) {
    std::cout << "kestrune-panel " << KESTRUNE_VERSION << '\n';
    status = 0;
    return std::nullopt;
  }
  Options options;
  if (beforeGUI) {
    return options;
  }
  options.socketPath = parser.isSet(socket)
                           ? parser.value(socket)
                           : QString::fromStdString(kestrune::CLIClient::defaultSocketPath());
  options.show = parser.isSet(show);
  options.invertScroll = parser.isSet(invertScroll);
  options.screenshot = parser.value(screenshot);
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QStringLiteral("kestrune-panel"));
  QCoreApplication::setApplicationVersion(QStringLiteral(KESTRUNE_VERSION));
  int status = 0;
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    arguments << QString::fromLocal8Bit(argv[i]);
  }
  if (!readOptions(arguments, true, status)) {
    return status;
  }
  QApplication application(argc, argv);
  const std::optional<Options> options = readOptions(QApplication::arguments(), false, status);
  if (!options) {
    return status;
  }
  QApplication::setApplicationDisplayName(QStringLiteral("Kestrune"));
  QApplication::setDesktopFileName(QStringLiteral("kestrune-panel"));
  QApplication::setQuitOnLastWindowClosed(false);
  const QString& socketPath = options->socketPath;

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
  const bool screenshot = !options->screenshot.isEmpty();
  if (screenshot) {
    const QString file = options->screenshot;
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
  tray.setScrollInverted(options->invertScroll);
  const bool trayShown = tray.start();
  // With no icon to open it from, the panel opens at start. A Wayland
  // session starts its bar beside the panel: the status area has a moment
  // to come first (there is no other tray there to fall back on).
  if (options->show || screenshot) {
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
