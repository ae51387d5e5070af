#include "panel/FeedConnection.h"

#include <chrono>
#include <utility>

#include "json/Errors.h"
#include "protocol/Feed.h"

namespace kestrune::panel {

namespace {

constexpr std::chrono::milliseconds retryInterval{1000};
constexpr std::chrono::milliseconds snapshotTimeout{3000};

QString notRunningSentence() {
  return QStringLiteral("Kestrune is not running; the panel connects as soon as it starts.");
}

}  // namespace

FeedConnection::FeedConnection(QString socketPath, PanelModel& model, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)), model_(model) {
  retry_.setSingleShot(true);
  retry_.setInterval(retryInterval);
  connect(&retry_, &QTimer::timeout, this, &FeedConnection::connectNow);
  snapshotDeadline_.setSingleShot(true);
  snapshotDeadline_.setInterval(snapshotTimeout);
  connect(&snapshotDeadline_, &QTimer::timeout, this, [this] {
    dropConnection(QStringLiteral("Kestrune is not answering; the panel keeps trying."));
  });
}

void FeedConnection::start() {
  connectNow();
}

void FeedConnection::connectNow() {
  if (socket_ != nullptr) {
    socket_->deleteLater();
  }
  reader_.clear();
  socket_ = new QLocalSocket(this);  // owned by this object through Qt's parent
  connect(socket_, &QLocalSocket::connected, this, &FeedConnection::onConnected);
  connect(socket_, &QLocalSocket::readyRead, this, &FeedConnection::onReadyRead);
  connect(socket_, &QLocalSocket::errorOccurred, this,
          [this](QLocalSocket::LocalSocketError) { dropConnection(notRunningSentence()); });
  connect(socket_, &QLocalSocket::disconnected, this,
          [this] { dropConnection(notRunningSentence()); });
  socket_->connectToServer(socketPath_);
}

void FeedConnection::onConnected() {
  const QByteArray request = frame(encodeSubscription(Subscription{}));
  if (socket_->write(request) != request.size()) {
    dropConnection(notRunningSentence());
    return;
  }
  awaitingSnapshot_ = true;
  snapshotDeadline_.start();
}

void FeedConnection::onReadyRead() {
  QLocalSocket* socket = socket_;
  reader_.append(socket->readAll());
  std::string body;
  for (;;) {
    const FrameReader::Outcome outcome = reader_.next(body);
    if (outcome == FrameReader::Outcome::incomplete) {
      return;
    }
    if (outcome == FrameReader::Outcome::oversized) {
      dropConnection(QStringLiteral("Kestrune sent a message too large to read."));
      return;
    }
    json::Value value;
    try {
      value = json::parse(body);
    } catch (const json::ParseError&) {
      continue;  // one unreadable frame; the following ones still count
    }
    if (awaitingSnapshot_ && value.find("success") != nullptr) {
      // Refused (too many subscribers): one reply, then the server closes.
      const json::Value* error = value.find("error");
      dropConnection(error != nullptr && error->isString()
                         ? QString::fromStdString(error->asString())
                         : notRunningSentence());
      return;
    }
    awaitingSnapshot_ = false;
    snapshotDeadline_.stop();
    model_.applyFrame(value);
    if (socket != socket_) {
      return;  // the model's listeners dropped this connection meanwhile
    }
  }
}

void FeedConnection::dropConnection(const QString& sentence) {
  snapshotDeadline_.stop();
  awaitingSnapshot_ = false;
  if (socket_ != nullptr) {
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
  }
  model_.setUnreachable(sentence);
  if (!retry_.isActive()) {
    retry_.start();
  }
}

}  // namespace kestrune::panel
