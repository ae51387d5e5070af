#pragma once
// Rate-limits the values of a dragged control: the first goes out at once,
// then at most one per interval, and the last value is always sent.

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

namespace kestrune::panel {

class SendThrottle : public QObject {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds interval{50};

  SendThrottle(std::function<void(int)> send, QObject* parent = nullptr);

  void offer(int value);
  bool pending() const { return pending_.has_value(); }

 private:
  void onTick();

  std::function<void(int)> send_;
  std::optional<int> pending_;
  QTimer timer_;
};

}  // namespace kestrune::panel
