#include "panel/PanelWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace kestrune::panel {

namespace {

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

QString optionalText(const std::optional<std::string>& text) {
  return text ? qs(*text) : QString();
}

int rounded(double value) {
  return static_cast<int>(std::lround(value));
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
  return qs(a).compare(qs(b), Qt::CaseInsensitive) == 0;
}

bool isOffPreset(const std::string& name) {
  return sameNameIgnoringCase(name, "off");
}

// A slider the user is holding or pointing at keeps its place.
bool userHolds(const QSlider* slider) {
  return slider->isSliderDown() || slider->underMouse();
}

void setSliderQuietly(QSlider* slider, int value) {
  if (userHolds(slider) || slider->value() == value) {
    return;
  }
  const QSignalBlocker blocker(slider);
  slider->setValue(value);
}

void setCheckedQuietly(QAbstractButton* button, bool checked) {
  const QSignalBlocker blocker(button);
  button->setChecked(checked);
}

QToolButton* toolButton(const QString& iconName, const QString& text, const QString& accessible,
                        QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(QIcon::fromTheme(iconName));
  button->setText(text);
  button->setToolTip(accessible);
  button->setAccessibleName(accessible);
  button->setFocusPolicy(Qt::StrongFocus);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  return button;
}

// Fills a device menu when its entries differ, keeping the open menu alone.
void fillDevices(QComboBox* combo, const std::vector<CLIDeviceInfo>& devices, bool outputs,
                 bool withDefault, const QString& current) {
  QStringList uids;
  QStringList names;
  if (withDefault) {
    uids << QString();
    names << QStringLiteral("Default");
  }
  for (const CLIDeviceInfo& device : devices) {
    if (outputs ? device.isOutput : device.isInput) {
      uids << qs(device.uid);
      names << qs(device.name);
    }
  }
  const QSignalBlocker blocker(combo);
  bool same = combo->count() == uids.size();
  for (int i = 0; same && i < combo->count(); ++i) {
    same = combo->itemData(i).toString() == uids[i] && combo->itemText(i) == names[i];
  }
  if (!same) {
    combo->clear();
    for (qsizetype i = 0; i < uids.size(); ++i) {
      combo->addItem(names[i], uids[i]);
    }
  }
  const int index = combo->findData(current);
  combo->setCurrentIndex(std::max(index, 0));
}

QIcon appIcon(const PanelModel& model, const CLIAppInfo& app) {
  const auto named = model.state().appIcons.find(app.id);
  if (named != model.state().appIcons.end()) {
    QIcon icon = QIcon::fromTheme(qs(named->second));
    if (!icon.isNull()) {
      return icon;
    }
  }
  for (const QString& name :
       {qs(app.id), optionalText(app.bundleID), qs(app.name).toLower(), qs(app.name)}) {
    if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
      return QIcon::fromTheme(name);
    }
  }
  QIcon generic = QIcon::fromTheme(QStringLiteral("application-x-executable"));
  return generic.isNull() ? QApplication::style()->standardIcon(QStyle::SP_MediaVolume) : generic;
}

}  // namespace

const std::vector<std::string>& builtInPresetNames() {
  static const std::vector<std::string> names{
      "flat", "rock", "pop", "jazz", "classical", "bassBoost", "trebleBoost", "vocal", "loudness"};
  return names;
}

PanelWindow::PanelWindow(PanelModel& model, RequestClient& requests, bool closeOnFocusLoss,
                         QWidget* parent)
    : QWidget(parent, Qt::Window),
      model_(model),
      requests_(requests),
      closeOnFocusLoss_(closeOnFocusLoss) {
  setWindowTitle(QStringLiteral("Kestrune"));
  setWindowIcon(QIcon::fromTheme(QStringLiteral("kestrune"),
                                 QIcon::fromTheme(QStringLiteral("audio-volume-high"))));
  auto* layout = new QVBoxLayout(this);
  unavailable_ = new QLabel(this);
  unavailable_->setWordWrap(true);
  unavailable_->setAccessibleName(QStringLiteral("Panel state"));
  layout->addWidget(unavailable_);

  controls_ = new QWidget(this);
  auto* controlsLayout = new QVBoxLayout(controls_);
  controlsLayout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(controls_);
  buildOutputSection(controls_);

  appsBox_ = new QGroupBox(QStringLiteral("Apps"), controls_);
  appsBox_->setLayout(new QVBoxLayout);
  controlsLayout->addWidget(appsBox_);

  buildMediaSection(controls_);

  bluetoothBox_ = new QGroupBox(QStringLiteral("Bluetooth"), controls_);
  bluetoothList_ = new QLabel(bluetoothBox_);
  bluetoothList_->setWordWrap(true);
  bluetoothList_->setAccessibleName(QStringLiteral("Bluetooth devices"));
  (new QVBoxLayout(bluetoothBox_))->addWidget(bluetoothList_);
  controlsLayout->addWidget(bluetoothBox_);

  profiles_ = new QComboBox(controls_);
  profiles_->setAccessibleName(QStringLiteral("Apply profile"));
  profiles_->addItem(QStringLiteral("Apply a profile…"));
  connect(profiles_, &QComboBox::activated, this, [this](int index) {
    const QString name = profiles_->itemData(index).toString();
    if (!name.isEmpty()) {
      requests_.send(CLICommand{CLICommand::ApplyProfile{name.toStdString()}});
    }
    profiles_->setCurrentIndex(0);
  });
  controlsLayout->addWidget(profiles_);

  statusLine_ = new QLabel(this);
  statusLine_->setAccessibleName(QStringLiteral("Status"));
  layout->addWidget(statusLine_);

  connect(&model_, &PanelModel::changed, this, &PanelWindow::refresh);
  refresh();
}

void PanelWindow::buildOutputSection(QWidget* parent) {
  auto* box = new QGroupBox(QStringLiteral("Sound"), parent);
  auto* grid = new QGridLayout(box);
  auto* outputLabel = new QLabel(QStringLiteral("Output"), box);
  outputVolume_ = new QSlider(Qt::Horizontal, box);
  outputVolume_->setRange(0, 100);
  outputVolume_->setAccessibleName(QStringLiteral("Output volume"));
  outputVolume_->setFocusPolicy(Qt::StrongFocus);
  outputLabel->setBuddy(outputVolume_);
  outputThrottle_ = new SendThrottle(
      [this](int value) {
        requests_.send(CLICommand{CLICommand::SetVolume{static_cast<double>(value)}});
      },
      this);
  connect(outputVolume_, &QSlider::valueChanged, outputThrottle_, &SendThrottle::offer);
  connect(outputVolume_, &QSlider::sliderReleased, this, &PanelWindow::refresh);
  outputMute_ = toolButton(QStringLiteral("audio-volume-muted"), QStringLiteral("Mute"),
                           QStringLiteral("Mute output"), box);
  outputMute_->setCheckable(true);
  connect(outputMute_, &QToolButton::clicked, this, &PanelWindow::toggleOutputMute);
  outputDevice_ = new QComboBox(box);
  outputDevice_->setAccessibleName(QStringLiteral("Output device"));
  connect(outputDevice_, &QComboBox::activated, this, [this](int index) {
    requests_.send(CLICommand{CLICommand::SetDevice{
        outputDevice_->itemData(index).toString().toStdString(), AudioDirection::output}});
  });
  grid->addWidget(outputLabel, 0, 0);
  grid->addWidget(outputVolume_, 0, 1);
  grid->addWidget(outputMute_, 0, 2);
  grid->addWidget(outputDevice_, 1, 1, 1, 2);

  auto* inputLabel = new QLabel(QStringLiteral("Input"), box);
  micMute_ = toolButton(QStringLiteral("microphone-sensitivity-muted"),
                        QStringLiteral("Mute microphone"), QStringLiteral("Microphone mute"), box);
  micMute_->setCheckable(true);
  connect(micMute_, &QToolButton::clicked, this, [this] {
    const bool muted = model_.state().status.isMuted;
    setCheckedQuietly(micMute_, muted);  // until the feed brings the outcome
    requests_.send(CLICommand{CLICommand::SetMute{muted ? MuteAction::off : MuteAction::on}});
  });
  inputDevice_ = new QComboBox(box);
  inputDevice_->setAccessibleName(QStringLiteral("Input device"));
  inputLabel->setBuddy(inputDevice_);
  connect(inputDevice_, &QComboBox::activated, this, [this](int index) {
    requests_.send(CLICommand{CLICommand::SetDevice{
        inputDevice_->itemData(index).toString().toStdString(), AudioDirection::input}});
  });
  grid->addWidget(inputLabel, 2, 0);
  grid->addWidget(inputDevice_, 2, 1);
  grid->addWidget(micMute_, 2, 2);

  silentMode_ = new QCheckBox(QStringLiteral("Silent mode"), box);
  silentMode_->setAccessibleName(QStringLiteral("Silent mode"));
  connect(silentMode_, &QCheckBox::clicked, this, [this] {
    setCheckedQuietly(silentMode_, model_.state().status.isSilentMode);
    requests_.send(CLICommand{CLICommand::ToggleSilentMode{}});
  });
  grid->addWidget(silentMode_, 3, 1, 1, 2);
  parent->layout()->addWidget(box);
}

void PanelWindow::buildMediaSection(QWidget* parent) {
  mediaBox_ = new QGroupBox(QStringLiteral("Now playing"), parent);
  auto* layout = new QHBoxLayout(mediaBox_);
  art_ = new QLabel(mediaBox_);
  art_->setAccessibleName(QStringLiteral("Cover art"));
  layout->addWidget(art_);
  auto* texts = new QVBoxLayout;
  title_ = new QLabel(mediaBox_);
  artist_ = new QLabel(mediaBox_);
  album_ = new QLabel(mediaBox_);
  title_->setAccessibleName(QStringLiteral("Title"));
  artist_->setAccessibleName(QStringLiteral("Artist"));
  album_->setAccessibleName(QStringLiteral("Album"));
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  texts->addWidget(title_);
  texts->addWidget(artist_);
  texts->addWidget(album_);
  auto* buttons = new QHBoxLayout;
  auto* previous = toolButton(QStringLiteral("media-skip-backward"), QStringLiteral("Previous"),
                              QStringLiteral("Previous track"), mediaBox_);
  playPause_ = toolButton(QStringLiteral("media-playback-start"), QStringLiteral("Play"),
                          QStringLiteral("Play or pause"), mediaBox_);
  auto* next = toolButton(QStringLiteral("media-skip-forward"), QStringLiteral("Next"),
                          QStringLiteral("Next track"), mediaBox_);
  connect(previous, &QToolButton::clicked, this,
          [this] { requests_.send(CLICommand{CLICommand::MediaPrevious{}}); });
  connect(playPause_, &QToolButton::clicked, this,
          [this] { requests_.send(CLICommand{CLICommand::MediaPlayPause{}}); });
  connect(next, &QToolButton::clicked, this,
          [this] { requests_.send(CLICommand{CLICommand::MediaNext{}}); });
  buttons->addWidget(previous);
  buttons->addWidget(playPause_);
  buttons->addWidget(next);
  texts->addLayout(buttons);
  layout->addLayout(texts, 1);
  parent->layout()->addWidget(mediaBox_);
}

bool PanelWindow::toggle() {
  if (isVisible() || justClosedByFocusLoss()) {
    closePanel();
    return false;
  }
  present();
  return true;
}

bool PanelWindow::toggleBeside(const QPoint& anchor) {
  if (isVisible() || justClosedByFocusLoss()) {
    closePanel();
    return false;
  }
  placeBeside(anchor);
  present();
  return true;
}

// Below the anchor when it is in the screen's upper half (a panel at the
// top), else above it; centred on it, and kept on the screen. Where the
// compositor places windows itself (Wayland) it has the last word.
void PanelWindow::placeBeside(const QPoint& anchor) {
  const QScreen* screen = QGuiApplication::screenAt(anchor);
  if (screen == nullptr) {
    screen = QGuiApplication::primaryScreen();
  }
  if (screen == nullptr) {
    return;
  }
  adjustSize();
  const QRect area = screen->availableGeometry();
  const QSize size = frameGeometry().size().expandedTo(sizeHint());
  const int x = std::clamp(anchor.x() - size.width() / 2, area.left(),
                           std::max(area.left(), area.right() + 1 - size.width()));
  const int below = anchor.y() + 1;
  const int above = anchor.y() - size.height();
  const int wanted = anchor.y() < area.center().y() ? below : above;
  const int y =
      std::clamp(wanted, area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
  move(x, y);
}

void PanelWindow::present() {
  show();
  raise();
  activateWindow();
}

void PanelWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    closePanel();
    return;
  }
  QWidget::keyPressEvent(event);
}

void PanelWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::ActivationChange) {
    return;
  }
  if (isActiveWindow()) {
    wasActive_ = true;
    return;
  }
  // Only the focus it had is lost: a window manager that has not yet given
  // it the focus (or never does) leaves it open.
  if (closeOnFocusLoss_ && wasActive_ && isVisible() &&
      QApplication::activePopupWidget() == nullptr) {
    hide();
    closedByFocusLoss_.start();
  }
}

// Hiding the active window takes its focus, which is no focus loss of the
// user's.
void PanelWindow::closePanel() {
  hide();
  closedByFocusLoss_.invalidate();
}

// A click on the tray icon of an open panel takes the focus first: the
// panel closes on that, and the click that follows must not open it again.
bool PanelWindow::justClosedByFocusLoss() {
  const bool just = closedByFocusLoss_.isValid() && !closedByFocusLoss_.hasExpired(400);
  closedByFocusLoss_.invalidate();
  return just;
}

void PanelWindow::hideEvent(QHideEvent* event) {
  wasActive_ = false;
  QWidget::hideEvent(event);
}

void PanelWindow::refresh() {
  const QString sentence = model_.unavailableSentence();
  unavailable_->setText(sentence);
  unavailable_->setVisible(!sentence.isEmpty());
  controls_->setVisible(sentence.isEmpty());
  if (!model_.isConnected()) {
    wasConnected_ = false;
    statusLine_->clear();
    return;
  }
  if (!wasConnected_) {
    wasConnected_ = true;
    askStatusLine();
    refreshProfiles();
  }
  if (!sentence.isEmpty()) {
    return;
  }
  refreshStatusLine();
  refreshOutput();
  refreshApps();
  refreshMedia();
  refreshBluetooth();
}

void PanelWindow::refreshStatusLine() {
  const QString server = model_.state().status.isRunning
                             ? QStringLiteral("sound server running")
                             : QStringLiteral("sound server not running");
  statusLine_->setText(versionText_.isEmpty() ? server
                                              : versionText_ + QStringLiteral(" — ") + server);
}

void PanelWindow::refreshOutput() {
  const FeedState& state = model_.state();
  const int volume = rounded(model_.outputVolume());
  setSliderQuietly(outputVolume_, volume);
  setCheckedQuietly(outputMute_, model_.outputMuted() || volume == 0);
  if (outputMuteAsked_ == outputShownMuted() || !model_.isConnected()) {
    outputMuteAsked_.reset();
  }
  const CLIDeviceInfo* output = model_.defaultOutput();
  fillDevices(outputDevice_, state.devices, true, false, output ? qs(output->uid) : QString());
  const CLIDeviceInfo* input = model_.defaultInput();
  fillDevices(inputDevice_, state.devices, false, false, input ? qs(input->uid) : QString());
  setCheckedQuietly(micMute_, state.status.isMuted);
  setCheckedQuietly(silentMode_, state.status.isSilentMode);
}

bool PanelWindow::outputShownMuted() const {
  return model_.outputMuted() || rounded(model_.outputVolume()) == 0;
}

void PanelWindow::toggleOutputMute() {
  // A second toggle before the feed has brought the first one's outcome
  // undoes the first, rather than asking for the same again.
  const bool muted = outputMuteAsked_.value_or(outputShownMuted());
  setCheckedQuietly(outputMute_, outputShownMuted());  // until the feed brings the outcome
  outputMuteAsked_ = !muted;
  if (!muted) {
    if (!model_.outputMuted() && model_.outputVolume() > 0) {
      volumeBeforeMute_ = model_.outputVolume();
    }
    requests_.send(CLICommand{CLICommand::SetVolume{0}});
    return;
  }
  const double restored = volumeBeforeMute_ > 0 ? volumeBeforeMute_ : 50;
  requests_.send(CLICommand{CLICommand::SetVolume{restored}});
}

void PanelWindow::refreshApps() {
  std::vector<std::string> order;
  for (const CLIAppInfo& app : model_.state().apps) {
    order.push_back(app.id);
  }
  if (order != rowOrder_) {
    rowOrder_ = order;
    rebuildAppRows();
  }
  for (const CLIAppInfo& app : model_.state().apps) {
    refreshAppRow(app, rows_[app.id]);
  }
  appsBox_->setVisible(!order.empty());
}

void PanelWindow::rebuildAppRows() {
  if (appsRows_ != nullptr) {
    appsRows_->hide();
    appsRows_->deleteLater();  // owned by appsBox_ until then
  }
  rows_.clear();
  appsRows_ = new QWidget(appsBox_);
  auto* grid = new QGridLayout(appsRows_);
  grid->setContentsMargins(0, 0, 0, 0);
  int line = 0;
  for (const CLIAppInfo& app : model_.state().apps) {
    AppRow& row = rows_[app.id];
    makeAppRow(app, row);
    grid->addWidget(row.icon, line, 0);
    grid->addWidget(row.name, line, 1);
    grid->addWidget(row.volume, line, 2);
    grid->addWidget(row.mute, line, 3);
    grid->addWidget(row.solo, line, 4);
    grid->addWidget(row.eq, line, 5);
    grid->addWidget(row.device, line, 6);
    ++line;
  }
  grid->setColumnStretch(2, 1);
  appsBox_->layout()->addWidget(appsRows_);
}

QWidget* PanelWindow::makeAppRow(const CLIAppInfo& app, AppRow& row) {
  const QString name = qs(app.name);
  const std::string id = app.id;
  QWidget* parent = appsRows_;
  row.icon = new QLabel(parent);
  const int side = fontMetrics().height();
  row.icon->setPixmap(appIcon(model_, app).pixmap(side, side));
  row.name = new QLabel(name, parent);
  row.volume = new QSlider(Qt::Horizontal, parent);
  row.volume->setRange(0, 150);
  row.volume->setTickPosition(QSlider::TicksBelow);
  row.volume->setTickInterval(100);  // the mark at 100, where the app is unchanged
  // Room to drag, in the font's units so that it scales with the desktop.
  row.volume->setMinimumWidth(fontMetrics().averageCharWidth() * 18);
  row.volume->setAccessibleName(QStringLiteral("Volume of %1").arg(name));
  row.volume->setFocusPolicy(Qt::StrongFocus);
  row.name->setBuddy(row.volume);
  SendThrottle*& throttle = appThrottles_[id];
  if (throttle == nullptr) {
    throttle = new SendThrottle(
        [this, id](int value) {
          requests_.send(CLICommand{CLICommand::SetAppVolume{id, static_cast<double>(value)}});
        },
        this);
  }
  connect(row.volume, &QSlider::valueChanged, throttle, &SendThrottle::offer);
  connect(row.volume, &QSlider::sliderReleased, this, &PanelWindow::refresh);
  row.mute = toolButton(QStringLiteral("audio-volume-muted"), QStringLiteral("Mute"),
                        QStringLiteral("Mute %1").arg(name), parent);
  row.mute->setCheckable(true);
  // The action is the opposite of what the panel showed when clicked.
  connect(row.mute, &QToolButton::clicked, this, [this, id, button = row.mute] {
    const CLIAppInfo* shown = model_.app(id);
    const bool muted = shown != nullptr && shown->isMuted;
    setCheckedQuietly(button, muted);  // until the feed brings the outcome
    requests_.send(
        CLICommand{CLICommand::SetAppMute{id, muted ? MuteAction::off : MuteAction::on}});
  });
  row.solo = toolButton(QStringLiteral("audio-headphones"), QStringLiteral("Solo"),
                        QStringLiteral("Solo %1").arg(name), parent);
  connect(row.solo, &QToolButton::clicked, this,
          [this, id] { requests_.send(CLICommand{CLICommand::SoloApp{id}}); });
  row.eq = new QComboBox(parent);
  row.eq->setAccessibleName(QStringLiteral("EQ of %1").arg(name));
  row.eq->addItem(QStringLiteral("Off"), QStringLiteral("off"));
  for (const std::string& preset : builtInPresetNames()) {
    row.eq->addItem(qs(preset), qs(preset));
  }
  connect(row.eq, &QComboBox::activated, this, [this, id, combo = row.eq](int index) {
    requests_.send(
        CLICommand{CLICommand::SetAppEQ{id, combo->itemData(index).toString().toStdString()}});
  });
  row.device = new QComboBox(parent);
  row.device->setAccessibleName(QStringLiteral("Output of %1").arg(name));
  connect(row.device, &QComboBox::activated, this, [this, id, combo = row.device](int index) {
    const QString uid = combo->itemData(index).toString();
    requests_.send(CLICommand{
        CLICommand::SetAppDevice{id, uid.isEmpty() ? std::string("default") : uid.toStdString()}});
  });
  return row.container;
}

void PanelWindow::refreshAppRow(const CLIAppInfo& app, AppRow& row) {
  if (row.volume == nullptr) {
    return;
  }
  setSliderQuietly(row.volume, rounded(app.volume));
  setCheckedQuietly(row.mute, app.isMuted);
  int eqIndex = 0;
  if (app.eqPreset) {
    for (int i = 1; i < row.eq->count(); ++i) {
      if (sameNameIgnoringCase(row.eq->itemData(i).toString().toStdString(), *app.eqPreset)) {
        eqIndex = i;
      }
    }
    if (eqIndex == 0 && !isOffPreset(*app.eqPreset)) {
      row.eq->addItem(qs(*app.eqPreset), qs(*app.eqPreset));  // one of the user's own
      eqIndex = row.eq->count() - 1;
    }
  }
  if (!row.eq->view()->isVisible()) {
    const QSignalBlocker blocker(row.eq);
    row.eq->setCurrentIndex(eqIndex);
  }
  if (!row.device->view()->isVisible()) {
    fillDevices(row.device, model_.state().devices, true, true, optionalText(app.deviceUID));
  }
}

void PanelWindow::refreshMedia() {
  const std::optional<CLIMediaInfo>& media = model_.state().media;
  mediaBox_->setVisible(media.has_value());
  if (!media) {
    return;
  }
  title_->setText(optionalText(media->title));
  artist_->setText(optionalText(media->artist));
  album_->setText(optionalText(media->album));
  playPause_->setIcon(QIcon::fromTheme(media->isPlaying ? QStringLiteral("media-playback-pause")
                                                        : QStringLiteral("media-playback-start")));
  playPause_->setText(media->isPlaying ? QStringLiteral("Pause") : QStringLiteral("Play"));
  const std::optional<std::string>& artUrl = model_.state().mediaArtUrl;
  QPixmap art;
  if (artUrl) {
    const QUrl url(qs(*artUrl));
    if (url.isLocalFile() && QFileInfo::exists(url.toLocalFile())) {
      const int side = fontMetrics().height() * 4;
      art = QPixmap(url.toLocalFile())
                .scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
  }
  art_->setPixmap(art);
  art_->setVisible(!art.isNull());
}

void PanelWindow::refreshBluetooth() {
  const FeedState& state = model_.state();
  QStringList lines;
  for (const CLIBluetoothInfo& device : state.bluetooth) {
    QString line = qs(device.name);
    line +=
        device.isConnected ? QStringLiteral(" — connected") : QStringLiteral(" — not connected");
    if (device.batteryLevel) {
      line += QStringLiteral(", battery %1%").arg(*device.batteryLevel);
    }
    lines << line;
  }
  if (lines.isEmpty() && state.bluetoothUnavailable) {
    lines << QStringLiteral("Bluetooth is not available.");
  }
  bluetoothList_->setText(lines.join(QLatin1Char('\n')));
  bluetoothBox_->setVisible(!lines.isEmpty());
}

void PanelWindow::refreshProfiles() {
  requests_.send(
      CLICommand{CLICommand::ListProfiles{}}, [this](const std::optional<CLIResponse>& response) {
        if (!response || !response->data) {
          return;
        }
        const auto* profiles = std::get_if<CLIResponseData::Profiles>(&response->data->value);
        if (profiles == nullptr) {
          return;
        }
        const QSignalBlocker blocker(profiles_);
        while (profiles_->count() > 1) {
          profiles_->removeItem(1);
        }
        for (const CLIProfileInfo& profile : profiles->value) {
          profiles_->addItem(qs(profile.name), qs(profile.name));
        }
        profiles_->setVisible(!profiles->value.empty());
      });
}

void PanelWindow::askStatusLine() {
  requests_.send(
      CLICommand{CLICommand::GetVersion{}}, [this](const std::optional<CLIResponse>& response) {
        if (!response || !response->data) {
          return;
        }
        const auto* version = std::get_if<CLIResponseData::Version>(&response->data->value);
        if (version == nullptr) {
          return;
        }
        versionText_ = QStringLiteral("Kestrune %1 (build %2)")
                           .arg(qs(version->value.version), qs(version->value.build));
        refreshStatusLine();
      });
}

}  // namespace kestrune::panel
