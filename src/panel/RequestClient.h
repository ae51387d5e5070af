#pragma once
// Sends one-shot requests without blocking the GUI: one connection per
// request, one at a time and in the order asked, so that the last value of
// a dragged slider is also the last one the application receives.

#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

#include "panel/Frames.h"
#include "protocol/CLICommand.h"
#include "protocol/CLIResponse.h"

namespace kestrune::panel {

class RequestClient : public QObject {
  Q_OBJECT

 public:
  // Called with the reply, or nothing when there was none.
  using Reply = std::function<void(const std::optional<CLIResponse>&)>;

  RequestClient(QString socketPath, QObject* parent = nullptr);

  void send(const CLICommand& command, Reply reply = {});
  bool idle() const { return current_ == nullptr && queue_.empty(); }

 signals:
  // A request the application refused, with its error.
  void failed(const QString& error);

 private:
  struct Pending {
    CLICommand command;
    Reply reply;
  };

  void startNext();
  void onReadyRead();
  void finish(const std::optional<CLIResponse>& response);

  QString socketPath_;
  std::deque<Pending> queue_;
  QLocalSocket* current_ = nullptr;
  Reply currentReply_;
  FrameReader reader_;
  QTimer deadline_;
};

}  // namespace kestrune::panel
