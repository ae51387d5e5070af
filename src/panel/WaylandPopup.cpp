#include "panel/WaylandPopup.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QWidget>
#include <QWindow>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>

namespace kestrune::panel {

namespace {

constexpr quint32 swayRunCommand = 0;
constexpr quint32 swayGetWorkspaces = 1;
constexpr quint32 swayGetOutputs = 3;
constexpr std::array<char, 6> swayMagic{'i', '3', '-', 'i', 'p', 'c'};
constexpr int swayHeaderSize = 14;
constexpr int swayWaitMs = 500;
// How often, and how long, the window is looked for until it is mapped.
constexpr int placeEveryMs = 20;
constexpr int placeAttempts = 50;
constexpr int popupMargin = 4;

QRect rectOf(const QJsonObject& node) {
  const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
  return {rect.value(QStringLiteral("x")).toInt(), rect.value(QStringLiteral("y")).toInt(),
          rect.value(QStringLiteral("width")).toInt(),
          rect.value(QStringLiteral("height")).toInt()};
}

bool readExactly(QLocalSocket& socket, char* into, qint64 size) {
  qint64 done = 0;
  while (done < size) {
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(swayWaitMs)) {
      return false;
    }
    const qint64 got = socket.read(into + done, size - done);
    if (got < 0) {
      return false;
    }
    done += got;
  }
  return true;
}

}  // namespace

QPoint popupCorner(const QRect& output, const QRect& area, const QSize& size, int margin) {
  const int x = area.right() + 1 - margin - size.width();
  // The bar is where the free area stops short of the output.
  const bool bottom = area.top() == output.top() && area.bottom() < output.bottom();
  const int y = bottom ? area.bottom() + 1 - margin - size.height() : area.top() + margin;
  return {std::max(x, area.left()), std::max(y, area.top())};
}

std::optional<QJsonDocument> swayRequest(const QString& socketPath, quint32 type,
                                         const QByteArray& payload) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(swayWaitMs)) {
    return std::nullopt;
  }
  QByteArray message(swayMagic.data(), swayMagic.size());
  std::array<char, 8> numbers{};
  qToLittleEndian(static_cast<quint32>(payload.size()), numbers.data());
  qToLittleEndian(type, numbers.data() + 4);
  message.append(numbers.data(), numbers.size());
  message.append(payload);
  if (socket.write(message) != message.size() || !socket.waitForBytesWritten(swayWaitMs)) {
    return std::nullopt;
  }
  std::array<char, swayHeaderSize> header{};
  if (!readExactly(socket, header.data(), header.size()) ||
      std::memcmp(header.data(), swayMagic.data(), swayMagic.size()) != 0) {
    return std::nullopt;
  }
  const auto length = qFromLittleEndian<quint32>(header.data() + swayMagic.size());
  QByteArray reply(static_cast<qsizetype>(length), '\0');
  if (!readExactly(socket, reply.data(), reply.size())) {
    return std::nullopt;
  }
  return QJsonDocument::fromJson(reply);
}

WaylandPopup::WaylandPopup(QWidget& window)
    : QObject(&window), window_(window), swaySocket_(qEnvironmentVariable("SWAYSOCK")) {
  retry_.setInterval(placeEveryMs);
  connect(&retry_, &QTimer::timeout, this, &WaylandPopup::placeOnceMapped);
  if (onWayland()) {
    window_.installEventFilter(this);
  }
}

bool WaylandPopup::onWayland() {
  return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

bool WaylandPopup::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &window_ && event->type() == QEvent::Show) {
    floatWhenShown();
  }
  return QObject::eventFilter(watched, event);
}

// Shown, not yet mapped: the sizes the compositor reads as it maps it.
void WaylandPopup::floatWhenShown() {
  if (!constrained_) {
    minimum_ = window_.minimumSize();
    maximum_ = window_.maximumSize();
    constrained_ = true;
  }
  window_.setFixedSize(window_.size().expandedTo(window_.minimumSizeHint()));
  attempts_ = 0;
  retry_.start();
}

void WaylandPopup::placeOnceMapped() {
  ++attempts_;
  const QWindow* handle = window_.windowHandle();
  const bool mapped = handle != nullptr && handle->isExposed();
  if (!mapped && attempts_ < placeAttempts && window_.isVisible()) {
    return;  // the compositor has not yet seen the sizes it floats by
  }
  const bool placed = swaySocket_.isEmpty() || placeWithSway();
  if (placed || attempts_ >= placeAttempts || !window_.isVisible()) {
    retry_.stop();
    release();
  }
}

// False while sway has not yet mapped the window.
bool WaylandPopup::placeWithSway() {
  const std::optional<QJsonDocument> workspaces = swayRequest(swaySocket_, swayGetWorkspaces, {});
  const std::optional<QJsonDocument> outputs = swayRequest(swaySocket_, swayGetOutputs, {});
  if (!workspaces || !outputs) {
    return true;  // no sway to ask: the compositor places it
  }
  QJsonObject workspace;
  for (const QJsonValue each : workspaces->array()) {
    if (each.toObject().value(QStringLiteral("focused")).toBool()) {
      workspace = each.toObject();
    }
  }
  QRect output;
  for (const QJsonValue each : outputs->array()) {
    if (each.toObject().value(QStringLiteral("name")) ==
        workspace.value(QStringLiteral("output"))) {
      output = rectOf(each.toObject());
    }
  }
  const QRect area = rectOf(workspace);
  if (area.isEmpty() || output.isEmpty()) {
    return true;
  }
  const QPoint corner = popupCorner(output, area, window_.size(), popupMargin);
  const QByteArray command =
      QStringLiteral(
          "[pid=%1 app_id=\"^%2$\"] floating enable, border none, move absolute position %3 %4")
          .arg(QCoreApplication::applicationPid())
          .arg(QGuiApplication::desktopFileName())
          .arg(corner.x())
          .arg(corner.y())
          .toUtf8();
  const std::optional<QJsonDocument> reply = swayRequest(swaySocket_, swayRunCommand, command);
  return !reply || reply->array().at(0).toObject().value(QStringLiteral("success")).toBool();
}

// Mapped and floating: the panel may change its size again.
void WaylandPopup::release() {
  if (constrained_) {
    window_.setMinimumSize(minimum_);
    window_.setMaximumSize(maximum_);
    constrained_ = false;
  }
}

}  // namespace kestrune::panel
