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
#include <QUrl>
#include <algorithm>

#include "panel/Controls.h"
#include "panel/DisplayText.h"

namespace kestrune::panel {

namespace {

// The panel's least width in average characters; the app rows' columns
// may ask for more. Either fits a 1280-pixel screen with room to spare at
// the usual font sizes.
constexpr int panelChars = 64;
constexpr int menuChars = 14;
constexpr int textChars = 30;

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

QString optionalName(const std::optional<std::string>& text) {
  return text ? visibleName(*text) : QString();
}

}  // namespace

PanelWindow::PanelWindow(PanelModel& model, RequestClient& requests, bool closeOnFocusLoss,
                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      model_(model),
      requests_(requests),
      closeOnFocusLoss_(closeOnFocusLoss) {
  setWindowTitle(QStringLiteral("Kestrune"));
  setWindowIcon(QIcon::fromTheme(QStringLiteral("kestrune"),
                                 QIcon::fromTheme(QStringLiteral("audio-volume-high"))));
  // Without a title bar the panel draws its own edge.
  setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(this);
  unavailable_ = new QLabel(this);
  unavailable_->setWordWrap(true);
  unavailable_->setAccessibleName(QStringLiteral("Panel state"));
  layout->addWidget(unavailable_);

  controls_ = new QWidget(this);
  auto* controlsLayout = new QVBoxLayout(controls_);
  controlsLayout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(controls_, 1);
  buildOutputSection(controlsLayout);

  appsBox_ = new QGroupBox(QStringLiteral("Apps"), controls_);
  appsView_ = new AppListView(model_, requests_, appsBox_);
  (new QVBoxLayout(appsBox_))->addWidget(appsView_);
  controlsLayout->addWidget(appsBox_, 1);
  const AppListModel& apps = model_.apps();
  const auto showApps = [this] { appsBox_->setVisible(model_.apps().rowCount() > 0); };
  connect(&apps, &AppListModel::rowsInserted, this, showApps);
  connect(&apps, &AppListModel::rowsRemoved, this, showApps);
  connect(&apps, &AppListModel::modelReset, this, showApps);

  buildMediaSection(controlsLayout);

  bluetoothBox_ = new QGroupBox(QStringLiteral("Bluetooth"), controls_);
  bluetoothBox_->setAccessibleName(QStringLiteral("Bluetooth devices"));
  bluetoothList_ = new QVBoxLayout(bluetoothBox_);
  bluetoothList_->setSpacing(0);
  controlsLayout->addWidget(bluetoothBox_);

  profiles_ = new QComboBox(controls_);
  boundWidth(profiles_, menuChars);
  profiles_->setAccessibleName(QStringLiteral("Apply profile"));
  profiles_->addItem(QStringLiteral("Apply a profile…"));
  connect(profiles_, &QComboBox::activated, this, [this](int index) {
    const QString name = profiles_->itemData(index).toString();
    if (!name.isEmpty()) {
      requests_.send(CLICommand{CLICommand::ApplyProfile{name.toStdString()}});
    }
    profiles_->setCurrentIndex(0);
  });
  auto* profileLine = new QHBoxLayout();
  profileLine->addWidget(profiles_, 1);
  outputOrderToggle_ = toolButton(QStringLiteral("view-sort"), QStringLiteral("Output order"),
                                  QStringLiteral("Output order"), controls_);
  outputOrderToggle_->setCheckable(true);
  profileLine->addWidget(outputOrderToggle_);
  controlsLayout->addLayout(profileLine);
  // Folded away until asked for: the popup stays compact.
  outputOrder_ = new OutputOrderBox(model_, controls_);
  outputOrder_->hide();
  controlsLayout->addWidget(outputOrder_);
  connect(outputOrderToggle_, &QToolButton::toggled, this, [this](bool shown) {
    outputOrder_->setVisible(shown);
    fit_.start();
  });
  connect(outputOrder_, &OutputOrderBox::problemChanged, this, [this](const QString& sentence) {
    configProblem_ = sentence;
    refreshStatusLine();
  });
  connect(&model_, &PanelModel::deviceListChanged, outputOrder_, [this] {
    if (outputOrder_->isVisible()) {
      outputOrder_->refresh();
    }
  });

  statusLine_ = new ElidedLabel(textChars, this);
  statusLine_->setAccessibleName(QStringLiteral("Status"));
  layout->addWidget(statusLine_);

  fit_.setSingleShot(true);
  fit_.setInterval(0);
  connect(&fit_, &QTimer::timeout, this, &PanelWindow::fitToScreen);

  connect(&model_, &PanelModel::availabilityChanged, this, &PanelWindow::refreshAvailability);
  connect(&model_, &PanelModel::outputChanged, this, &PanelWindow::refreshOutput);
  connect(&model_, &PanelModel::deviceListChanged, this, &PanelWindow::refreshDeviceMenus);
  connect(&model_, &PanelModel::mediaChanged, this, &PanelWindow::refreshMedia);
  connect(&model_, &PanelModel::bluetoothChanged, this, &PanelWindow::refreshBluetooth);
  showApps();
  refreshAvailability();
  refreshDeviceMenus();
  refreshOutput();
  refreshMedia();
  refreshBluetooth();
}

void PanelWindow::buildOutputSection(QVBoxLayout* parent) {
  auto* box = new QGroupBox(QStringLiteral("Sound"), controls_);
  auto* grid = new QGridLayout(box);
  auto* outputLabel = new QLabel(QStringLiteral("Output"), box);
  outputVolume_ = new QSlider(Qt::Horizontal, box);
  outputVolume_->setRange(0, 100);
  outputVolume_->setAccessibleName(QStringLiteral("Output volume"));
  outputVolume_->setFocusPolicy(Qt::StrongFocus);
  outputLabel->setBuddy(outputVolume_);
  outputPercent_ = new QLabel(box);
  outputPercent_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 2);
  outputPercent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  outputThrottle_ = new SendThrottle([this](int value) { sendOutputVolume(value); }, this);
  connect(outputVolume_, &QSlider::valueChanged, this, [this](int value) {
    outputPercent_->setText(percentText(value));
    outputThrottle_->offer(value);
  });
  connect(outputVolume_, &QSlider::sliderReleased, this, &PanelWindow::refreshOutput);
  outputMute_ = toolButton(QStringLiteral("audio-volume-muted"), QStringLiteral("Mute"),
                           QStringLiteral("Mute output"), box);
  outputMute_->setCheckable(true);
  // Toggled rather than clicked: a screen reader's toggle action changes the
  // state without a click. The feed's own changes are made with signals
  // blocked, so this is always the user.
  connect(outputMute_, &QToolButton::toggled, this, &PanelWindow::toggleOutputMute);
  outputDevice_ = new QComboBox(box);
  boundWidth(outputDevice_, menuChars);
  outputDevice_->setAccessibleName(QStringLiteral("Output device"));
  connect(outputDevice_, &QComboBox::activated, this, [this](int index) {
    requests_.send(CLICommand{CLICommand::SetDevice{
        outputDevice_->itemData(index).toString().toStdString(), AudioDirection::output}});
  });
  grid->addWidget(outputLabel, 0, 0);
  grid->addWidget(outputVolume_, 0, 1);
  grid->addWidget(outputPercent_, 0, 2);
  grid->addWidget(outputMute_, 0, 3);
  grid->addWidget(outputDevice_, 1, 1, 1, 3);

  auto* inputLabel = new QLabel(QStringLiteral("Input"), box);
  micMute_ = toolButton(QStringLiteral("microphone-sensitivity-muted"),
                        QStringLiteral("Mute microphone"), QStringLiteral("Microphone mute"), box);
  micMute_->setCheckable(true);
  connect(micMute_, &QToolButton::toggled, this, [this] {
    const bool muted = model_.state().status.isMuted;
    setCheckedQuietly(micMute_, muted);  // until the feed brings the outcome
    requests_.send(CLICommand{CLICommand::SetMute{muted ? MuteAction::off : MuteAction::on}});
  });
  inputDevice_ = new QComboBox(box);
  boundWidth(inputDevice_, menuChars);
  inputDevice_->setAccessibleName(QStringLiteral("Input device"));
  inputLabel->setBuddy(inputDevice_);
  connect(inputDevice_, &QComboBox::activated, this, [this](int index) {
    requests_.send(CLICommand{CLICommand::SetDevice{
        inputDevice_->itemData(index).toString().toStdString(), AudioDirection::input}});
  });
  grid->addWidget(inputLabel, 2, 0);
  grid->addWidget(inputDevice_, 2, 1, 1, 2);
  grid->addWidget(micMute_, 2, 3);

  silentMode_ = new QCheckBox(QStringLiteral("Silent mode"), box);
  silentMode_->setAccessibleName(QStringLiteral("Silent mode"));
  connect(silentMode_, &QCheckBox::toggled, this, [this] {
    setCheckedQuietly(silentMode_, model_.state().status.isSilentMode);
    requests_.send(CLICommand{CLICommand::ToggleSilentMode{}});
  });
  grid->addWidget(silentMode_, 3, 1, 1, 3);
  grid->setColumnStretch(1, 1);
  parent->addWidget(box);
}

void PanelWindow::buildMediaSection(QVBoxLayout* parent) {
  mediaBox_ = new QGroupBox(QStringLiteral("Now playing"), controls_);
  auto* layout = new QHBoxLayout(mediaBox_);
  art_ = new QLabel(mediaBox_);
  art_->setAccessibleName(QStringLiteral("Cover art"));
  art_->hide();
  layout->addWidget(art_);
  auto* texts = new QVBoxLayout;
  title_ = new ElidedLabel(textChars, mediaBox_);
  artist_ = new ElidedLabel(textChars, mediaBox_);
  album_ = new ElidedLabel(textChars, mediaBox_);
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
  buttons->addStretch(1);
  texts->addLayout(buttons);
  layout->addLayout(texts, 1);
  parent->addWidget(mediaBox_);
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
  anchor_ = anchor;
  present();
  return true;
}

void PanelWindow::present() {
  // The user's presets may have changed while it was closed.
  if (model_.isConnected()) {
    refreshPresets();
  }
  // Sized and placed before it maps, so that it never shows clipped.
  if (QLayout* own = layout()) {
    own->activate();
  }
  fitToScreen();
  show();
  raise();
  activateWindow();
}

QRect PanelWindow::availableArea() const {
  const QScreen* screen = anchor_ ? QGuiApplication::screenAt(*anchor_) : nullptr;
  if (screen == nullptr && isVisible()) {
    screen = QGuiApplication::screenAt(geometry().center());
  }
  if (screen == nullptr) {
    screen = QGuiApplication::primaryScreen();
  }
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

// Below the anchor when it is in the screen's upper half (a panel at the
// top), else above it; centred on it across. Without an anchor it stays
// where it is, pulled inside the area. Where the compositor places windows
// itself (Wayland) it has the last word.
void PanelWindow::fitToScreen() {
  const QRect area = availableArea();
  if (area.isEmpty()) {
    return;
  }
  const QMargins margins = layout()->contentsMargins();
  const int content = std::max({fontMetrics().averageCharWidth() * panelChars,
                                appsBox_->sizeHint().width(), controls_->sizeHint().width()});
  const int width = std::min(content + margins.left() + margins.right(), area.width());
  const int height = std::clamp(sizeHint().height(), minimumSizeHint().height(), area.height());
  setMaximumHeight(area.height());
  setFixedWidth(width);
  QPoint place = pos();
  if (anchor_) {
    const int below = anchor_->y() + 1;
    const int above = anchor_->y() - height;
    place = QPoint(anchor_->x() - width / 2, anchor_->y() < area.center().y() ? below : above);
  }
  place.setX(std::clamp(place.x(), area.left(), area.right() + 1 - width));
  place.setY(std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() + 1 - height)));
  if (size() != QSize(width, height)) {
    resize(width, height);
  }
  if (pos() != place) {
    move(place);
  }
}

bool PanelWindow::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  // The content asked for another size: apps came or went, the daemon came
  // back in place of the one-sentence box.
  if (event->type() == QEvent::LayoutRequest && isVisible()) {
    fit_.start();
  }
  return handled;
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

void PanelWindow::refreshAvailability() {
  const QString sentence = model_.unavailableSentence();
  unavailable_->setText(sentence);
  unavailable_->setVisible(!sentence.isEmpty());
  controls_->setVisible(sentence.isEmpty());
  if (!model_.isConnected()) {
    wasConnected_ = false;
    statusLine_->setFullText(configProblem_);
    return;
  }
  if (!wasConnected_) {
    wasConnected_ = true;
    askStatusLine();
    refreshProfiles();
    refreshPresets();
  }
  refreshStatusLine();
}

void PanelWindow::setConfigDirectory(const QString& directory) {
  outputOrder_->setConfigOverride(directory);
}

void PanelWindow::refreshStatusLine() {
  if (!configProblem_.isEmpty()) {
    statusLine_->setFullText(configProblem_);
    return;
  }
  if (!model_.isConnected()) {
    return;
  }
  const QString server = model_.state().status.isRunning
                             ? QStringLiteral("sound server running")
                             : QStringLiteral("sound server not running");
  statusLine_->setFullText(versionText_.isEmpty() ? server
                                                  : versionText_ + QStringLiteral(" — ") + server);
}

void PanelWindow::refreshOutput() {
  const FeedState& state = model_.state();
  setSliderQuietly(outputVolume_, rounded(model_.outputVolume()));
  outputPercent_->setText(percentText(outputVolume_->value()));
  const bool muted = model_.outputMuted();
  if (outputMuteAsked_ == muted || !model_.isConnected()) {
    outputMuteAsked_.reset();
  }
  showToggle(outputMute_, muted, QStringLiteral("Mute"), QStringLiteral("Muted"));
  outputPercent_->setEnabled(!muted);
  const CLIDeviceInfo* output = model_.defaultOutput();
  const CLIDeviceInfo* input = model_.defaultInput();
  const QSignalBlocker outputBlocker(outputDevice_);
  const QSignalBlocker inputBlocker(inputDevice_);
  outputDevice_->setCurrentIndex(
      std::max(outputDevice_->findData(output ? qs(output->uid) : QString()), 0));
  inputDevice_->setCurrentIndex(
      std::max(inputDevice_->findData(input ? qs(input->uid) : QString()), 0));
  outputDevice_->setToolTip(outputDevice_->currentText());
  inputDevice_->setToolTip(inputDevice_->currentText());
  showToggle(micMute_, state.status.isMuted, QStringLiteral("Mute microphone"),
             QStringLiteral("Microphone muted"));
  setCheckedQuietly(silentMode_, state.status.isSilentMode);
  refreshStatusLine();
}

void PanelWindow::refreshDeviceMenus() {
  const CLIDeviceInfo* output = model_.defaultOutput();
  fillDevices(outputDevice_, model_.state().devices, true, false,
              output ? qs(output->uid) : QString());
  const CLIDeviceInfo* input = model_.defaultInput();
  fillDevices(inputDevice_, model_.state().devices, false, false,
              input ? qs(input->uid) : QString());
}

void PanelWindow::toggleOutputMute() {
  // A second toggle before the feed has brought the first one's outcome
  // undoes the first, rather than asking for the same again.
  const bool muted = outputMuteAsked_.value_or(model_.outputMuted());
  setCheckedQuietly(outputMute_, model_.outputMuted());  // until the feed brings the outcome
  outputMuteAsked_ = !muted;
  requests_.send(
      CLICommand{CLICommand::SetOutputMute{muted ? MuteAction::off : MuteAction::on, {}}});
}

// Moving the output's level while it is muted unmutes it, as desktop
// mixers do: the level chosen is meant to be heard.
void PanelWindow::sendOutputVolume(int value) {
  if (outputMuteAsked_.value_or(model_.outputMuted())) {
    outputMuteAsked_ = false;
    requests_.send(CLICommand{CLICommand::SetOutputMute{MuteAction::off, {}}});
  }
  requests_.send(CLICommand{CLICommand::SetVolume{static_cast<double>(value)}});
}

void PanelWindow::refreshMedia() {
  const std::optional<CLIMediaInfo>& media = model_.state().media;
  mediaBox_->setVisible(media.has_value());
  if (!media) {
    return;
  }
  title_->setFullText(optionalName(media->title));
  artist_->setFullText(optionalName(media->artist));
  album_->setFullText(optionalName(media->album));
  artist_->setVisible(media->artist.has_value());
  album_->setVisible(media->album.has_value());
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
    QString line = visibleName(device.name);
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
  while (bluetoothLines_.size() > static_cast<std::size_t>(lines.size())) {
    ElidedLabel* last = bluetoothLines_.back();
    bluetoothLines_.pop_back();
    bluetoothList_->removeWidget(last);
    last->hide();
    last->deleteLater();
  }
  while (bluetoothLines_.size() < static_cast<std::size_t>(lines.size())) {
    auto* line = new ElidedLabel(textChars, bluetoothBox_);
    bluetoothList_->addWidget(line);
    bluetoothLines_.push_back(line);
  }
  for (std::size_t i = 0; i < bluetoothLines_.size(); ++i) {
    bluetoothLines_[i]->setFullText(lines[static_cast<qsizetype>(i)]);
  }
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
          const QString shown = visibleName(profile.name);
          profiles_->addItem(shown, qs(profile.name));
          profiles_->setItemData(profiles_->count() - 1, shown, Qt::ToolTipRole);
        }
        profiles_->setVisible(!profiles->value.empty());
      });
}

void PanelWindow::refreshPresets() {
  requests_.send(
      CLICommand{CLICommand::ListEQPresets{}}, [this](const std::optional<CLIResponse>& response) {
        // An application that cannot list them keeps the built-in ones on offer.
        if (!response || !response->data) {
          return;
        }
        if (const auto* presets = std::get_if<CLIResponseData::EqPresets>(&response->data->value)) {
          model_.presets().setPresets(presets->value);
        }
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
        versionText_ =
            QStringLiteral("Kestrune %1 (build %2)")
                .arg(visibleName(version->value.version), visibleName(version->value.build));
        refreshStatusLine();
      });
}

}  // namespace kestrune::panel
