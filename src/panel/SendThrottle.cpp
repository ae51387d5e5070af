#include "panel/SendThrottle.h"

#include <utility>

namespace kestrune::panel {

SendThrottle::SendThrottle(std::function<void(int)> send, QObject* parent)
    : QObject(parent), send_(std::move(send)) {
  timer_.setSingleShot(true);
  timer_.setInterval(interval);
  connect(&timer_, &QTimer::timeout, this, &SendThrottle::onTick);
}

void SendThrottle::offer(int value) {
  if (timer_.isActive()) {
    pending_ = value;
    return;
  }
  send_(value);
  timer_.start();
}

void SendThrottle::onTick() {
  if (!pending_) {
    return;
  }
  const int value = *pending_;
  pending_.reset();
  send_(value);
  timer_.start();
}

}  // namespace kestrune::panel
