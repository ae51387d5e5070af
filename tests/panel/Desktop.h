#pragma once
// A private desktop for the panel's tests: Xvfb on a free display, openbox
// on it, a session bus of its own and kestrune-sim on a private socket.
// Everything it starts it stops again, by process.

#include <QApplication>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <iostream>
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

// A test program's main(): sets up the desktop, points `shared` at it and
// runs `Test`'s slots; without a desktop, status 77 (skipped) and why.
template <class Test>
int runOnDesktop(int argc, char** argv, const char* what, Desktop*& shared) {
  Desktop desktop;
  if (!desktop.failure().isEmpty()) {
    std::cout << "SKIP: no private desktop for " << what << ": " << desktop.failure().toStdString()
              << '\n';
    return 77;
  }
  shared = &desktop;
  const QApplication application(argc, argv);
  Test test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace kestrune::panel::test
