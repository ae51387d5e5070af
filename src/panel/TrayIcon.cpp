#include "panel/TrayIcon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>
#include <QWheelEvent>
#include <QtEndian>
#include <cmath>
#include <iostream>

#include "panel/DBusMenu.h"
#include "panel/DisplayText.h"
#include "panel/PanelWindow.h"

namespace kestrune::panel {

namespace {

using Effect = TrayMenuEntry::Effect;
using Kind = TrayMenuEntry::Kind;

constexpr const char* watcherPath = "/StatusNotifierWatcher";
constexpr int lowestLow = 33;
constexpr int highestMedium = 66;

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

// The waves beside the speaker: none when muted, one to three by level.
int wavesFor(const QString& iconName) {
  if (iconName.endsWith(QStringLiteral("-high"))) {
    return 3;
  }
  if (iconName.endsWith(QStringLiteral("-medium"))) {
    return 2;
  }
  return iconName.endsWith(QStringLiteral("-low")) ? 1 : 0;
}

QByteArray networkOrderARGB(const QImage& image) {
  QByteArray bytes;
  bytes.reserve(static_cast<qsizetype>(image.width()) * image.height() * 4);
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const quint32 pixel = qToBigEndian(line[x]);
      bytes.append(reinterpret_cast<const char*>(&pixel), sizeof pixel);
    }
  }
  return bytes;
}

void addEntries(QMenu& menu, const TrayMenuEntry& parent,
                const std::function<void(const TrayMenuEntry&)>& choose) {
  for (const TrayMenuEntry& entry : parent.children) {
    if (entry.kind == Kind::separator) {
      menu.addSeparator();
      continue;
    }
    QString label = entry.label;
    label.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (entry.kind == Kind::submenu) {
      QMenu* submenu = menu.addMenu(label);
      submenu->setEnabled(entry.enabled);
      addEntries(*submenu, entry, choose);
      continue;
    }
    QAction* action = menu.addAction(label);
    action->setEnabled(entry.enabled);
    if (entry.kind == Kind::radio || entry.kind == Kind::checkmark) {
      action->setCheckable(true);
      action->setChecked(entry.toggled);
    }
    QObject::connect(action, &QAction::triggered, &menu, [choose, entry] { choose(entry); });
  }
}

}  // namespace

QString trayIconName(double volume, bool muted) {
  const auto level = static_cast<int>(std::lround(volume));
  if (muted || level <= 0) {
    return QStringLiteral("audio-volume-muted");
  }
  if (level <= lowestLow) {
    return QStringLiteral("audio-volume-low");
  }
  return level <= highestMedium ? QStringLiteral("audio-volume-medium")
                                : QStringLiteral("audio-volume-high");
}

QString trayToolTipText(const PanelModel& model) {
  QString unavailable = model.unavailableSentence();
  if (!unavailable.isEmpty()) {
    return unavailable;
  }
  const auto volume = static_cast<int>(std::lround(model.outputVolume()));
  QString text = model.outputMuted() ? QStringLiteral("Output muted (volume %1%)").arg(volume)
                                     : QStringLiteral("Volume %1%").arg(volume);
  if (const CLIDeviceInfo* output = model.defaultOutput()) {
    text += QStringLiteral(" — ") + isolatedName(output->name);
  }
  return text;
}

// The application's icon (a rounded square with a speaker), drawn with the
// waves of the level.
QImage drawnTrayIcon(const QString& iconName, int side) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side / 64.0, side / 64.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x2f, 0x6f, 0x8f));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
  QPainterPath speaker;
  speaker.moveTo(12, 26);
  speaker.lineTo(20, 26);
  speaker.lineTo(32, 16);
  speaker.lineTo(32, 48);
  speaker.lineTo(20, 38);
  speaker.lineTo(12, 38);
  speaker.closeSubpath();
  painter.setBrush(Qt::white);
  painter.drawPath(speaker);
  painter.setBrush(Qt::NoBrush);
  const int waves = wavesFor(iconName);
  if (waves == 0) {
    painter.setPen(QPen(QColor(0xf3, 0xb0, 0xb0), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(40, 25), QPointF(54, 39));
    painter.drawLine(QPointF(54, 25), QPointF(40, 39));
    return image;
  }
  painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
  for (int wave = 1; wave <= waves; ++wave) {
    const double radius = 2.0 + 7.0 * wave;
    constexpr int sixteenthsPerDegree = 16;
    painter.drawArc(QRectF(32 - radius, 32 - radius, 2 * radius, 2 * radius),
                    -50 * sixteenthsPerDegree, 100 * sixteenthsPerDegree);
  }
  return image;
}

TrayPixmapList trayPixmaps(const QString& iconName) {
  TrayPixmapList pixmaps;
  for (const int side : {22, 44}) {
    const QImage image = drawnTrayIcon(iconName, side);
    pixmaps.append(TrayPixmap{side, side, networkOrderARGB(image)});
  }
  return pixmaps;
}

TrayIcon::TrayIcon(PanelModel& model, RequestClient& requests, PanelWindow& window, QObject* parent)
    : QObject(parent), model_(model), requests_(requests), window_(window) {
  item_ = new TrayItem(
      TrayItem::Handlers{
          .activate = [this](int x, int y) { activate(QPoint(x, y)); },
          .secondaryActivate = [this](int, int) { window_.toggleOutputMute(); },
          .contextMenu =
              [this](int x, int y) {
                rebuildQMenu();
                qmenu_->popup(QPoint(x, y));
              },
          .scroll = [this](const QString& caller, ScrollHost host,
                           int delta) { scroll(caller, host, delta); },
          // Qt's Wayland client hands this to the compositor as the
          // next window asks for the focus.
          .activationToken =
              [](const QString& token) { qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8()); }},
      this);
  dbusMenu_ = new DBusMenu(
      menu_, [this](const TrayMenuEntry& entry) { choose(entry); },
      // The profiles are not in the feed: asked again as the menu opens.
      [this](int) { askProfiles(); }, this);
  connect(&model_, &PanelModel::changed, this, &TrayIcon::refresh);
  refresh();
}

// The menu is a top-level window and goes before the application does.
TrayIcon::~TrayIcon() = default;

QString TrayIcon::serviceName() {
  return QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QApplication::applicationPid());
}

bool TrayIcon::start() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    TrayItem::registerTypes();
    DBusMenu::registerTypes();
    onBus_ = item_->exportOn(bus) && dbusMenu_->exportOn(bus) && bus.registerService(serviceName());
  }
  if (onBus_) {
    watcher_ = new QDBusServiceWatcher(
        QString::fromLatin1(statusNotifierWatcherName), bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration,
        this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this,
            &TrayIcon::registerWithWatcher);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &TrayIcon::watcherGone);
    // Asked once at start, before the window decides whether to open.
    if (bus.interface()->isServiceRegistered(QString::fromLatin1(statusNotifierWatcherName))) {
      registerWithWatcher();
      return true;
    }
  }
  return useSystemTray();
}

bool TrayIcon::isShown() const {
  return watched_ || systemTray_ != nullptr;
}

void TrayIcon::registerWithWatcher() {
  watched_ = true;
  dropSystemTray();
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(statusNotifierWatcherName), QString::fromLatin1(watcherPath),
      QString::fromLatin1(statusNotifierWatcherName), QStringLiteral("RegisterStatusNotifierItem"));
  call << serviceName();
  auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
    done->deleteLater();
    if (done->isError()) {
      std::cerr << "kestrune-panel: the status area refused the tray icon: "
                << done->error().message().toStdString() << '\n';
      watcherGone();
    }
  });
}

void TrayIcon::watcherGone() {
  watched_ = false;
  useSystemTray();
}

bool TrayIcon::useSystemTray() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    if (!saidNoTray_) {
      saidNoTray_ = true;
      std::cerr << "kestrune-panel: this desktop shows no tray icons; `kestrune panel` opens the "
                   "panel.\n";
    }
    return false;
  }
  if (systemTray_ == nullptr) {
    systemTray_ = new QSystemTrayIcon(currentIcon(), this);
    // Its window hands wheel events to it, and QSystemTrayIcon drops them.
    systemTray_->installEventFilter(this);
    rebuildQMenu();
    systemTray_->setContextMenu(qmenu_.get());
    connect(systemTray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              if (reason == QSystemTrayIcon::Trigger) {
                activate(systemTray_->geometry().center());
              } else if (reason == QSystemTrayIcon::MiddleClick) {
                window_.toggleOutputMute();
              }
            });
  }
  systemTray_->setToolTip(trayToolTipText(model_));
  systemTray_->show();
  return true;
}

void TrayIcon::dropSystemTray() {
  if (systemTray_ != nullptr) {
    systemTray_->hide();
    systemTray_->deleteLater();
    systemTray_ = nullptr;
  }
}

void TrayIcon::refresh() {
  if (model_.isConnected() != wasConnected_) {
    wasConnected_ = model_.isConnected();
    if (wasConnected_) {
      askProfiles();
    }
  }
  const bool reachable = model_.unavailableSentence().isEmpty();
  const QString name =
      trayIconName(reachable ? model_.outputVolume() : 0, !reachable || model_.outputMuted());
  if (name != item_->iconName()) {
    item_->setIcon(name, trayPixmaps(name));
  }
  item_->setToolTip(trayToolTipText(model_));
  const TrayMenu::Changes changes = menu_.update(model_, profiles_);
  dbusMenu_->announce(changes);
  if (systemTray_ != nullptr) {
    systemTray_->setIcon(currentIcon());
    systemTray_->setToolTip(trayToolTipText(model_));
  }
  if (qmenu_ && (changes.layout || !changes.entries.empty())) {
    rebuildQMenu();
  }
}

void TrayIcon::rebuildQMenu() {
  if (!qmenu_) {
    qmenu_ = std::make_unique<QMenu>();
    connect(qmenu_.get(), &QMenu::aboutToShow, this, &TrayIcon::askProfiles);
  }
  if (qmenu_->isVisible()) {
    return;  // an open menu keeps its entries; it is rebuilt when shown next
  }
  qmenu_->clear();
  addEntries(*qmenu_, menu_.root(), [this](const TrayMenuEntry& entry) { choose(entry); });
}

QIcon TrayIcon::currentIcon() const {
  const QString name = item_->iconName();
  return QIcon::fromTheme(name, QIcon(QPixmap::fromImage(drawnTrayIcon(name, 44))));
}

void TrayIcon::choose(const TrayMenuEntry& entry) {
  switch (entry.effect) {
    case Effect::setOutput:
      requests_.send(
          CLICommand{CLICommand::SetDevice{entry.argument.toStdString(), AudioDirection::output}});
      break;
    case Effect::toggleOutputMute:
      window_.toggleOutputMute();
      break;
    case Effect::mediaPrevious:
      requests_.send(CLICommand{CLICommand::MediaPrevious{}});
      break;
    case Effect::mediaPlayPause:
      requests_.send(CLICommand{CLICommand::MediaPlayPause{}});
      break;
    case Effect::mediaNext:
      requests_.send(CLICommand{CLICommand::MediaNext{}});
      break;
    case Effect::toggleSilentMode:
      requests_.send(CLICommand{CLICommand::ToggleSilentMode{}});
      break;
    case Effect::applyProfile:
      requests_.send(CLICommand{CLICommand::ApplyProfile{entry.argument.toStdString()}});
      break;
    case Effect::openPanel:
      window_.present();
      break;
    case Effect::quit:
      // After the host's call is answered. Named rather than a functor: the
      // analyser cannot follow the functor's ownership into Qt.
      QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
      break;
    case Effect::none:
      break;
  }
}

void TrayIcon::askProfiles() {
  if (!model_.isConnected()) {
    return;
  }
  requests_.send(
      CLICommand{CLICommand::ListProfiles{}}, [this](const std::optional<CLIResponse>& response) {
        if (!response || !response->data) {
          return;
        }
        const auto* list = std::get_if<CLIResponseData::Profiles>(&response->data->value);
        if (list == nullptr) {
          return;
        }
        QStringList names;
        for (const CLIProfileInfo& profile : list->value) {
          names << qs(profile.name);
        }
        if (names != profiles_) {
          profiles_ = names;
          refresh();
        }
      });
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched != systemTray_ || event->type() != QEvent::Wheel) {
    return QObject::eventFilter(watched, event);
  }
  const auto* wheel = static_cast<QWheelEvent*>(event);
  scroll(QStringLiteral("x11-tray"), ScrollHost::qt, wheel->angleDelta().y());
  return true;
}

void TrayIcon::scroll(const QString& caller, ScrollHost host, int delta) {
  const int steps = scrollReader_.steps(caller, host, delta);
  const VolumeDirection direction = steps > 0 ? VolumeDirection::up : VolumeDirection::down;
  for (int i = 0; i < std::abs(steps); ++i) {
    requests_.send(CLICommand{CLICommand::StepVolume{direction}});
  }
}

void TrayIcon::activate(const QPoint& anchor) {
  // Hosts that cannot tell where the icon is send the origin.
  if (anchor.isNull()) {
    window_.toggle();
  } else {
    window_.toggleBeside(anchor);
  }
}

}  // namespace kestrune::panel
