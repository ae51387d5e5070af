#include "panel/RequestClient.h"

#include <chrono>
#include <utility>

#include "json/Errors.h"
#include "protocol/Coding.h"

namespace kestrune::panel {

namespace {
constexpr std::chrono::milliseconds requestTimeout{5000};
}

RequestClient::RequestClient(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {
  deadline_.setSingleShot(true);
  deadline_.setInterval(requestTimeout);
  connect(&deadline_, &QTimer::timeout, this, [this] { finish(std::nullopt); });
}

void RequestClient::send(const CLICommand& command, Reply reply) {
  queue_.push_back(Pending{command, std::move(reply)});
  if (current_ == nullptr) {
    startNext();
  }
}

void RequestClient::startNext() {
  if (queue_.empty()) {
    return;
  }
  Pending next = std::move(queue_.front());
  queue_.pop_front();
  currentReply_ = std::move(next.reply);
  reader_.clear();
  current_ = new QLocalSocket(this);  // owned through Qt's parent, deleted in finish()
  const QByteArray request = frame(encodeCompact(next.command));
  connect(current_, &QLocalSocket::connected, this, [this, request] {
    if (current_->write(request) != request.size()) {
      finish(std::nullopt);
    }
  });
  connect(current_, &QLocalSocket::readyRead, this, &RequestClient::onReadyRead);
  connect(current_, &QLocalSocket::errorOccurred, this,
          [this](QLocalSocket::LocalSocketError) { finish(std::nullopt); });
  deadline_.start();
  current_->connectToServer(socketPath_);
}

void RequestClient::onReadyRead() {
  reader_.append(current_->readAll());
  std::string body;
  const FrameReader::Outcome outcome = reader_.next(body);
  if (outcome == FrameReader::Outcome::incomplete) {
    return;
  }
  if (outcome == FrameReader::Outcome::oversized) {
    finish(std::nullopt);
    return;
  }
  try {
    finish(decodeCLIResponse(body));
  } catch (const json::DecodingError&) {
    finish(std::nullopt);
  }
}

void RequestClient::finish(const std::optional<CLIResponse>& response) {
  if (current_ == nullptr) {
    return;
  }
  deadline_.stop();
  current_->disconnect(this);
  current_->abort();
  current_->deleteLater();
  current_ = nullptr;
  Reply reply = std::move(currentReply_);
  currentReply_ = {};
  if (response && !response->success && response->error) {
    emit failed(QString::fromStdString(*response->error));
  }
  if (reply) {
    reply(response);
  }
  startNext();
}

}  // namespace kestrune::panel
