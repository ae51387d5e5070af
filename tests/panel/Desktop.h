#pragma once
// A private desktop for the panel's tests: Xvfb on a free display, openbox
// on it, a session bus of its own and kestrune-sim on a private socket.
// Everything it starts it stops again, by process.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

#include "protocol/CLIResponse.h"

namespace kestrune::panel::test {

class Desktop {
 public:
  Desktop();
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // Why the desktop could not be set up; empty when it is.
  const QString& failure() const { return failure_; }
  QString path(const QString& name) const { return directory_.filePath(name); }
  const QString& simSocket() const { return simSocket_; }

  // Another simulator, on `socket`; stopped with the desktop or by stopSim().
  bool startSim(const QString& socket);
  void stopSim(const QString& socket);

 private:
  struct Child {
    QString name;
    std::unique_ptr<QProcess> process;
  };
  QProcess* start(const QString& name, const QString& program, const QStringList& arguments);
  bool startDisplay();
  bool startBus();

  QTemporaryDir directory_;
  std::vector<Child> children_;
  QString simSocket_;
  QString failure_;
};

// `kestrune ARGS --socket SOCKET --json`, decoded; nothing when it fails.
std::optional<CLIResponse> kestrune(const QString& socket, const QStringList& arguments);

}  // namespace kestrune::panel::test
