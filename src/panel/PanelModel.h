#pragma once
// What the panel shows: the live feed's state, and whether it can be shown
// at all. Views draw it and never change it; changes come from the feed.

#include <QObject>
#include <QString>

#include "json/Value.h"
#include "protocol/Feed.h"

namespace kestrune::panel {

class PanelModel : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  const FeedState& state() const { return state_; }
  // Whether a snapshot has arrived on the current connection.
  bool isConnected() const { return connected_; }
  // One sentence shown in place of the controls, or empty when they apply.
  QString unavailableSentence() const;

  // One feed frame; a malformed one is dropped (the next snapshot corrects).
  void applyFrame(const json::Value& frame);
  // The connection is gone or never came; `sentence` says so.
  void setUnreachable(const QString& sentence);

  // Conveniences for the views.
  const CLIDeviceInfo* defaultOutput() const;
  const CLIDeviceInfo* defaultInput() const;
  double outputVolume() const;
  bool outputMuted() const;
  const CLIAppInfo* app(const std::string& id) const;

 signals:
  void changed();

 private:
  FeedState state_;
  bool connected_ = false;
  QString unreachable_ = QStringLiteral("Connecting to Kestrune…");
};

}  // namespace kestrune::panel
