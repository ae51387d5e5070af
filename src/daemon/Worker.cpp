#include "daemon/Worker.h"

#include <pthread.h>

#include <utility>

namespace kestrune::daemon {

Worker::Worker(std::string name) : name_(std::move(name)), thread_([this] { serve(); }) {}

Worker::~Worker() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void Worker::post(std::function<void()> job) {
  post(std::move(job), Clock::time_point::max(), {});
}

void Worker::post(std::function<void()> job, Clock::time_point startBy,
                  std::function<void()> tooLate) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(Job{std::move(job), startBy, std::move(tooLate)});
  }
  wake_.notify_one();
}

void Worker::serve() {
  // Thread names show in top and in the journal's stack traces; 15 bytes at most.
  static_cast<void>(pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str()));
  while (true) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) {
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (Clock::now() <= job.startBy) {
      job.run();
    } else if (job.tooLate) {
      job.tooLate();
    }
  }
}

}  // namespace kestrune::daemon
