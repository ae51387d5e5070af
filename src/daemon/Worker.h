#pragma once
// A thread that runs jobs one after another, in the order given. The jobs of
// one source run on its own worker, so that a slow source (a player that
// never answers) holds up only its own requests.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kestrune::daemon {

class Worker {
 public:
  explicit Worker(std::string name);
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  // Runs what is queued, then stops.
  ~Worker();

  void post(std::function<void()> job);

 private:
  void serve();

  std::string name_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kestrune::daemon
