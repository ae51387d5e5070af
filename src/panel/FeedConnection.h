#pragma once
// Follows the live feed on the GUI's event loop: subscribes, hands each
// frame to the model, and while disconnected tries again each second.

#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QTimer>

#include "panel/Frames.h"
#include "panel/PanelModel.h"

namespace kestrune::panel {

class FeedConnection : public QObject {
  Q_OBJECT

 public:
  FeedConnection(QString socketPath, PanelModel& model, QObject* parent = nullptr);

  void start();

 private:
  void connectNow();
  void onConnected();
  void onReadyRead();
  void dropConnection(const QString& sentence);

  QString socketPath_;
  PanelModel& model_;
  QLocalSocket* socket_ = nullptr;
  FrameReader reader_;
  QTimer retry_;
  // A server that accepts but never sends its snapshot is not answering.
  QTimer snapshotDeadline_;
  bool awaitingSnapshot_ = false;
};

}  // namespace kestrune::panel
