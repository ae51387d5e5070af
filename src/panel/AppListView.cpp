#include "panel/AppListView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

#include "panel/Controls.h"
#include "panel/DisplayText.h"
#include "panel/PanelWindow.h"

namespace kestrune::panel {

namespace {

constexpr int nameChars = 14;
constexpr int sliderChars = 14;
constexpr int menuChars = 8;
// The rows shown at least, however little room the screen leaves.
constexpr int fewestRows = 3;

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

QIcon themeIcon(const CLIAppInfo& app, const QString& iconName) {
  if (!iconName.isEmpty()) {
    QIcon icon = QIcon::fromTheme(iconName);
    if (!icon.isNull()) {
      return icon;
    }
  }
  for (const QString& name : {qs(app.id), app.bundleID ? qs(*app.bundleID) : QString(),
                              qs(app.name).toLower(), qs(app.name)}) {
    if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
      return QIcon::fromTheme(name);
    }
  }
  QIcon generic = QIcon::fromTheme(QStringLiteral("application-x-executable"));
  return generic.isNull() ? QApplication::style()->standardIcon(QStyle::SP_MediaVolume) : generic;
}

}  // namespace

AppRow::AppRow(PanelModel& model, RequestClient& requests, const CLIAppInfo& app, QWidget* parent)
    : QWidget(parent), model_(model), requests_(requests), id_(app.id) {
  build(visibleName(app.name));
}

void AppRow::build(const QString& name) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  const QFontMetrics metrics = fontMetrics();
  icon_ = new QLabel(this);
  icon_->setFixedSize(metrics.height(), metrics.height());
  name_ = new ElidedLabel(nameChars, this);
  name_->setFixedWidth(metrics.averageCharWidth() * nameChars);
  name_->setFullText(name);
  name_->setAccessibleName(name);

  volume_ = new QSlider(Qt::Horizontal, this);
  volume_->setRange(0, 150);
  volume_->setTickPosition(QSlider::TicksBelow);
  volume_->setTickInterval(100);  // the mark at 100, where the app is unchanged
  // Room to drag, in the font's units so that it scales with the desktop.
  volume_->setMinimumWidth(metrics.averageCharWidth() * sliderChars);
  volume_->setAccessibleName(QStringLiteral("Volume of %1").arg(name));
  volume_->setFocusPolicy(Qt::StrongFocus);
  name_->setBuddy(volume_);
  percent_ = new QLabel(this);
  percent_->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("150%")) + 2);
  percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const std::string id = id_;
  throttle_ = new SendThrottle(
      [this, id](int value) {
        requests_.send(CLICommand{CLICommand::SetAppVolume{id, static_cast<double>(value)}});
      },
      this);
  connect(volume_, &QSlider::valueChanged, this, [this](int value) {
    percent_->setText(percentText(value));
    throttle_->offer(value);
  });
  connect(volume_, &QSlider::sliderReleased, this, [this] {
    if (const CLIAppInfo* app = model_.app(id_)) {
      setSliderQuietly(volume_, rounded(app->volume));
    }
  });

  mute_ = toolButton(QStringLiteral("audio-volume-muted"), QStringLiteral("Mute"),
                     QStringLiteral("Mute %1").arg(name), this);
  mute_->setCheckable(true);
  // Room for "Muted" in bold, so that the row keeps its width either way.
  mute_->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("Muted")) * 6 / 5 +
                         metrics.height() * 2);
  // The action is the opposite of what the panel showed when clicked.
  // Toggled rather than clicked, for a screen reader's toggle action.
  connect(mute_, &QToolButton::toggled, this, [this] {
    const CLIAppInfo* shown = model_.app(id_);
    const bool muted = shown != nullptr && shown->isMuted;
    setCheckedQuietly(mute_, muted);  // until the feed brings the outcome
    requests_.send(
        CLICommand{CLICommand::SetAppMute{id_, muted ? MuteAction::off : MuteAction::on}});
  });
  solo_ = toolButton(QStringLiteral("audio-headphones"), QStringLiteral("Solo"),
                     QStringLiteral("Solo %1").arg(name), this);
  connect(solo_, &QToolButton::clicked, this,
          [this] { requests_.send(CLICommand{CLICommand::SoloApp{id_}}); });

  eq_ = new QComboBox(this);
  boundWidth(eq_, menuChars);
  eq_->setAccessibleName(QStringLiteral("EQ of %1").arg(name));
  // One list for every app: a new preset is one row more, not one per app.
  eq_->setModel(&model_.presets());
  connect(eq_, &QComboBox::activated, this, [this](int index) {
    requests_.send(
        CLICommand{CLICommand::SetAppEQ{id_, eq_->itemData(index).toString().toStdString()}});
  });
  device_ = new QComboBox(this);
  boundWidth(device_, menuChars);
  device_->setAccessibleName(QStringLiteral("Output of %1").arg(name));
  connect(device_, &QComboBox::activated, this, [this](int index) {
    const QString uid = device_->itemData(index).toString();
    requests_.send(CLICommand{
        CLICommand::SetAppDevice{id_, uid.isEmpty() ? std::string("default") : uid.toStdString()}});
  });

  layout->addWidget(icon_);
  layout->addWidget(name_);
  layout->addWidget(volume_, 1);
  layout->addWidget(percent_);
  layout->addWidget(mute_);
  layout->addWidget(solo_);
  layout->addWidget(eq_);
  layout->addWidget(device_);
}

void AppRow::showApp(const CLIAppInfo& app, const QPixmap& icon) {
  if (icon.cacheKey() != iconKey_) {
    iconKey_ = icon.cacheKey();
    icon_->setPixmap(icon);
  }
  const int volume = rounded(app.volume);
  setSliderQuietly(volume_, volume);
  percent_->setText(percentText(volume_->value()));
  showToggle(mute_, app.isMuted, QStringLiteral("Mute"), QStringLiteral("Muted"));
  // A muted row looks muted: its name and level are greyed.
  name_->setEnabled(!app.isMuted);
  percent_->setEnabled(!app.isMuted);
  showEQ(app);
  if (!device_->view()->isVisible() && device_->count() == 0) {
    fillDevices();
  } else if (!device_->view()->isVisible()) {
    const int index =
        std::max(device_->findData(app.deviceUID ? qs(*app.deviceUID) : QString()), 0);
    if (device_->currentIndex() != index) {
      const QSignalBlocker blocker(device_);
      device_->setCurrentIndex(index);
    }
  }
}

void AppRow::showEQ(const CLIAppInfo& app) {
  if (eq_->view()->isVisible()) {
    return;
  }
  const std::optional<int> offered =
      app.eqPreset ? model_.presets().rowOf(*app.eqPreset) : PresetListModel::offRow;
  // A preset no longer on offer (its file was removed) is still named.
  const QString unlisted = offered ? QString() : visibleName(*app.eqPreset);
  if (eq_->placeholderText() != unlisted) {
    eq_->setPlaceholderText(unlisted);
  }
  const int index = offered.value_or(-1);
  if (eq_->currentIndex() != index) {
    const QSignalBlocker blocker(eq_);
    eq_->setCurrentIndex(index);
  }
}

void AppRow::showEQ() {
  if (const CLIAppInfo* app = model_.app(id_)) {
    showEQ(*app);
  }
}

void AppRow::fillDevices() {
  const CLIAppInfo* app = model_.app(id_);
  panel::fillDevices(device_, model_.state().devices, true, true,
                     app != nullptr && app->deviceUID ? qs(*app->deviceUID) : QString());
}

AppListView::AppListView(PanelModel& model, RequestClient& requests, QWidget* parent)
    : QScrollArea(parent), model_(model), requests_(requests) {
  setWidgetResizable(true);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setAccessibleName(QStringLiteral("Apps"));
  content_ = new QWidget(this);
  auto* layout = new QVBoxLayout(content_);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addStretch(1);
  setWidget(content_);
  const AppListModel& apps = model_.apps();
  connect(&apps, &AppListModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { insertRows(first, last); });
  connect(&apps, &AppListModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) { removeRows(first, last); });
  connect(&apps, &AppListModel::dataChanged, this,
          [this](const QModelIndex& top, const QModelIndex& bottom) {
            changeRows(top.row(), bottom.row());
          });
  connect(&apps, &AppListModel::modelReset, this, &AppListView::rebuild);
  connect(&model_, &PanelModel::deviceListChanged, this, &AppListView::fillDevices);
  connect(&model_.presets(), &PresetListModel::presetsChanged, this, [this] {
    for (AppRow* row : rows_) {
      row->showEQ();
    }
  });
  const AppRow measure(model_, requests_, CLIAppInfo{}, nullptr);
  rowWidth_ = measure.sizeHint().width();
  rebuild();
}

QSize AppListView::sizeHint() const {
  const QSize rows = content_->sizeHint();
  const int frame = 2 * frameWidth();
  return {rowWidth_ + frame + verticalScrollBar()->sizeHint().width(), rows.height() + frame};
}

QSize AppListView::minimumSizeHint() const {
  const int shown = std::min(static_cast<int>(rows_.size()), fewestRows);
  const int rowHeight = rows_.empty() ? 0 : rows_.front()->sizeHint().height();
  const int spacing = content_->layout()->spacing();
  return {sizeHint().width(), shown * (rowHeight + spacing) + 2 * frameWidth()};
}

void AppListView::insertRows(int first, int last) {
  auto* layout = static_cast<QVBoxLayout*>(content_->layout());
  for (int row = first; row <= last; ++row) {
    auto* widget = new AppRow(model_, requests_, model_.apps().at(row), content_);
    widget->showApp(model_.apps().at(row), iconFor(row));
    rows_.insert(rows_.begin() + row, widget);
    layout->insertWidget(row, widget);
  }
  updateGeometry();
}

void AppListView::removeRows(int first, int last) {
  for (int row = last; row >= first; --row) {
    AppRow* widget = rows_[static_cast<std::size_t>(row)];
    rows_.erase(rows_.begin() + row);
    content_->layout()->removeWidget(widget);
    widget->hide();
    widget->deleteLater();  // it may be inside one of its own signals now
  }
  updateGeometry();
}

void AppListView::changeRows(int first, int last) {
  for (int row = first; row <= last && row < static_cast<int>(rows_.size()); ++row) {
    rows_[static_cast<std::size_t>(row)]->showApp(model_.apps().at(row), iconFor(row));
  }
}

void AppListView::rebuild() {
  if (!rows_.empty()) {
    removeRows(0, static_cast<int>(rows_.size()) - 1);
  }
  if (model_.apps().rowCount() > 0) {
    insertRows(0, model_.apps().rowCount() - 1);
  }
}

void AppListView::fillDevices() {
  for (AppRow* row : rows_) {
    row->fillDevices();
  }
}

QPixmap AppListView::iconFor(int row) {
  const CLIAppInfo& app = model_.apps().at(row);
  const QString iconName = qs(model_.apps().iconNameAt(row));
  const QString key = iconName + QLatin1Char('\n') + qs(app.id);
  const auto cached = icons_.constFind(key);
  if (cached != icons_.constEnd()) {
    return *cached;
  }
  constexpr qsizetype mostIcons = 256;
  if (icons_.size() >= mostIcons) {
    icons_.clear();  // apps come and go under new ids; the cache must not grow with them
  }
  const int side = fontMetrics().height();
  QPixmap pixmap = themeIcon(app, iconName).pixmap(side, side);
  icons_.insert(key, pixmap);
  return pixmap;
}

}  // namespace kestrune::panel
