#pragma once
// A thread that runs jobs one after another, in the order given. The jobs of
// one source run on its own worker, so that a slow source (a player that
// never answers) holds up only its own requests.

#include <chrono>
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

  using Clock = std::chrono::steady_clock;

  void post(std::function<void()> job);
  // A job for a client that waits until `startBy`: one still queued then is
  // not run (its client has given up, and a change it never sees applied
  // would surprise it later); `tooLate` runs instead.
  void post(std::function<void()> job, Clock::time_point startBy, std::function<void()> tooLate);

 private:
  struct Job {
    std::function<void()> run;
    Clock::time_point startBy = Clock::time_point::max();
    std::function<void()> tooLate;
  };

  void serve();

  std::string name_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kestrune::daemon
